// The command line: help, CLI11's errors and the root test come before
// anything is read or written.

#include "fake_host.hpp"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

namespace {

using bench::FakeHost;

TEST(CommandLine, HelpListsTheOptionsInOrderForAnyUser)
{
    FakeHost host;
    host.add_boards(1);
    for (const bool as_root : {true, false}) {
        const auto result = host.run({"--help"}, bench::as_user(as_root));
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(result.usr_local.empty());
        EXPECT_TRUE(host.driver_commands().empty());
        const std::string& out = result.out;
        ASSERT_EQ(out.rfind("Norvane Tesselon KA720 Optical Tool.\n", 0), 0u) << out;
        std::size_t at = 0;
        for (const char* entry :
             {"--set-node INT", "Set current host node id. (0 or 1)", "--daemon", "Run as daemon.",
              "--info", "Print ka720 board info.", "--print-reg",
              "Print the value of registers for debug.", "--topo", "Show link state topology.",
              "--p2p-ping TEXT", "p2p-ping test.(p2p-read、p2p-write、reset-data、read-data)",
              "-h,--help", "Print this help message and exit."}) {
            at = out.find(entry, at);
            ASSERT_NE(at, std::string::npos) << entry << " missing or out of order in\n" << out;
        }
    }
    EXPECT_EQ(host.run({"-h"}).status, 0);
}

TEST(CommandLine, ParseErrorsGoToStandardErrorWithCli11sCode)
{
    FakeHost host;
    host.add_boards(1);
    host.set_node_file("1\n");
    struct Case {
        std::vector<std::string> arguments;
        CLI::ExitCodes code;
        const char* message;
    };
    const Case cases[] = {
        {{"--bogus"}, CLI::ExitCodes::ExtrasError, "--bogus"},
        {{"--set-node", "x"}, CLI::ExitCodes::ConversionError, "--set-node"},
        {{"--set-node"}, CLI::ExitCodes::ArgumentMismatch, "--set-node"},
        {{"--topo", "extra"}, CLI::ExitCodes::ExtrasError, "extra"},
    };
    for (const Case& c : cases) {
        const auto result = host.run(c.arguments, bench::as_user(false));
        EXPECT_EQ(result.status, static_cast<int>(c.code)) << c.arguments[0];
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(result.node_file(), "1\n");
    }
    EXPECT_TRUE(host.driver_commands().empty());
}

TEST(CommandLine, NonRootIsRefusedBeforeTheNodeFileIsTouched)
{
    FakeHost host;
    host.add_boards(1);
    host.set_node_file("1\n");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"--set-node", "0"}, {"--daemon"}, {"--topo"}}) {
        const auto result = host.run(arguments, bench::as_user(false));
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "Requires root privileges.\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.node_file(), "1\n");
    }
    EXPECT_TRUE(host.driver_commands().empty());
    EXPECT_EQ(host.command_register(bench::board_spec(0).port0), 0x0400);
}

} // namespace
