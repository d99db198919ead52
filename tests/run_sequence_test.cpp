// Board assembly and the one-shot run: boards of five in BDF order, each
// configured and reported before the next, then the node id and the table.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using bench::DriverCommand;
using bench::FakeHost;

std::string info_block(const bench::BoardSpec& b, const char* minor0, const char* minor1,
                       const char* gpu0_bar, const char* gpu1_bar, const char* port0_bar,
                       const char* port1_bar)
{
    return "*****************************************************************\n"
           "ka720 device info:\n"
           "    switch8725 upstream port bdf: " + b.switch_port + "\n"
           "    gpu0  bdf: " + b.gpu0 + ", bar0: " + gpu0_bar + ", minor_id: " + minor0 + "\n"
           "    gpu1  bdf: " + b.gpu1 + ", bar0: " + gpu1_bar + ", minor_id: " + minor1 + "\n"
           "    port0 bdf: " + b.port0 + ", bar2: " + port0_bar + "\n"
           "    port1 bdf: " + b.port1 + ", bar2: " + port1_bar + "\n"
           "\n\n";
}

TEST(RunSequence, InfoBlocksForTwoBoards)
{
    FakeHost host;
    host.add_boards(2);
    const auto result = host.run({"--set-node", "1", "--info"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              info_block(bench::board_spec(0), "0", "1", "20000000000", "20800000000",
                         "21000000000", "21800000000")
                  + info_block(bench::board_spec(1), "2", "3", "22000000000", "22800000000",
                               "23000000000", "23800000000")
                  + "Host Node ID: 1\n");
}

TEST(RunSequence, EachBoardIsServedCompletelyBeforeTheNext)
{
    FakeHost host;
    host.add_boards(2);
    const auto b0 = bench::board_spec(0);
    const auto b1 = bench::board_spec(1);
    const auto result = host.run({"--set-node", "0", "--p2p-ping", "p2p-write"});
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> seen;
    for (const DriverCommand& command : host.driver_commands())
        seen.push_back(command.gpu + " " + command.line);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        b0.gpu0 + " pt_p2p_cfg 0 21000000000",
                        b0.gpu1 + " pt_p2p_cfg 1 21800000000",
                        b0.gpu0 + " p2p_ping w 21000000000",
                        b0.gpu1 + " p2p_ping w 21800000000",
                        b1.gpu0 + " pt_p2p_cfg 2 23000000000",
                        b1.gpu1 + " pt_p2p_cfg 3 23800000000",
                        b1.gpu0 + " p2p_ping w 23000000000",
                        b1.gpu1 + " p2p_ping w 23800000000",
                        b0.gpu0 + " node 0", // once, to the lowest BDF
                    }));
}

TEST(RunSequence, DriverNotLoadedConfiguresNothing)
{
    FakeHost host;
    host.add_boards(2);
    host.remove_driver_directory();
    const auto layout = bench::board_spec(0);
    const auto window = host.read_bytes(host.device_path(layout.switch_port, "resource0"));
    const auto result = host.run({"--set-node", "0", "--info", "--topo"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "Please load KA720 driver firstly.\n");
    EXPECT_NE(result.err.find("/sys/bus/pci/drivers/norvane/" + layout.gpu0 + "/minor"),
              std::string::npos) << result.err; // the minor lookups ran first
    EXPECT_EQ(host.read_bytes(host.device_path(layout.switch_port, "resource0")), window);
    EXPECT_EQ(host.command_register(layout.port0), 0x0400);
}

TEST(RunSequence, FunctionWithoutItsRegionRefusesTheWholeRun)
{
    for (const bool daemon : {false, true}) {
        FakeHost host;
        host.add_boards(1);
        auto second = bench::board_spec(1);
        host.add_board(second);
        // The second board's NT port 1 has its 32G region unassigned.
        bench::FakeFunction port = bench::network_card(second.port1);
        port.vendor = "0x10b5\n";
        port.device = "0x87b1\n";
        port.bars = {};
        host.add_function(port);
        const auto window = host.read_bytes(host.device_path(second.switch_port, "resource0"));
        const auto result = host.run(daemon ? std::vector<std::string>{"--set-node", "0", "--daemon"}
                                            : std::vector<std::string>{"--set-node", "0"});
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "Error: no 32G memory region found for " + second.port1
                                  + " (unassigned, or lspci cannot read it); nothing configured.\n");
        EXPECT_TRUE(host.driver_commands().empty());
        EXPECT_EQ(host.command_register(bench::board_spec(0).port0), 0x0400);
        EXPECT_EQ(host.read_bytes(host.device_path(second.switch_port, "resource0")), window);
    }
}

TEST(RunSequence, GpuWithoutMinorGetsNoWindowCommand)
{
    FakeHost host;
    auto layout = bench::board_spec(0);
    layout.gpu1_minor = "3; touch ka720-minor-injection\n";
    host.add_board(layout);
    const auto result = host.run({"--set-node", "0", "--info"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("Error: GPU " + layout.gpu1
                              + " has no minor number from the driver; its peer window is not sent.\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("minor_id: \n"), std::string::npos);
    EXPECT_EQ(host.driver_commands(),
              (std::vector<DriverCommand>{{layout.gpu0, "pt_p2p_cfg 0 21000000000", 0},
                                          {layout.gpu0, "node 0", 0}}));
    EXPECT_FALSE(std::filesystem::exists("ka720-minor-injection"));
}

} // namespace
