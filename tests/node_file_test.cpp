// The host node id: stored with --set-node 0 or 1, otherwise taken from the
// host node file, whose first line must be exactly 0 or 1.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using bench::FakeHost;

const char* const refusal = "Please set current host node id. (0 or 1).\n";

struct NodeCase {
    const char* name;
    std::vector<std::string> arguments;
    std::optional<std::string> file_before; // no value: no node file
    std::optional<int> id_used;             // no value: refused with status 255
    std::optional<std::string> file_after;
};

TEST(HostNode, ResolvedFromOptionOrFile)
{
    const NodeCase cases[] = {
        {"set 1, no directory chain", {"--set-node", "1"}, std::nullopt, 1, "1\n"},
        {"set 0 over 1", {"--set-node", "0"}, "1\n", 0, "0\n"},
        {"set 2 takes the file", {"--set-node", "2"}, "0\n", 0, "0\n"},
        {"set 2 without a file", {"--set-node", "2"}, std::nullopt, std::nullopt, std::nullopt},
        {"set -1 without a file", {"--set-node", "-1"}, std::nullopt, std::nullopt, std::nullopt},
        {"file holds 1", {}, "1\n", 1, "1\n"},
        {"file with blanks", {}, " 1 \n", 1, " 1 \n"},
        {"no file", {}, std::nullopt, std::nullopt, std::nullopt},
        {"empty file", {}, "", std::nullopt, ""},
        {"file holds 7", {}, "7\n", std::nullopt, "7\n"},
        {"file holds a", {}, "a\n", std::nullopt, "a\n"},
        {"file holds 10", {}, "10\n", std::nullopt, "10\n"},
        {"first line of 64+ characters", {}, "1" + std::string(70, ' ') + "\n", std::nullopt,
         "1" + std::string(70, ' ') + "\n"},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.add_boards(1);
        if (c.file_before)
            host.set_node_file(*c.file_before);
        const auto result = host.run(c.arguments);
        EXPECT_EQ(result.node_file(), c.file_after);
        if (c.id_used) {
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(result.out, "Host Node ID: " + std::to_string(*c.id_used) + "\n");
            EXPECT_EQ(host.driver().node(), c.id_used);
        } else {
            EXPECT_EQ(result.status, 255);
            EXPECT_EQ(result.out, refusal);
            EXPECT_TRUE(host.driver_commands().empty());
        }
    }
}

TEST(HostNode, UnreadableFileIsRefused)
{
    FakeHost host;
    host.add_boards(1);
    std::filesystem::create_directories(host.root() + "/usr_local/kz/etc/kz_node");
    const auto result = host.run({});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, refusal);
}

TEST(HostNode, StoredEvenWhenTheRunFailsLater)
{
    FakeHost empty_host;
    auto result = empty_host.run({"--set-node", "1"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "No KA72 GPU found.\n");
    EXPECT_EQ(result.node_file(), "1\n");

    FakeHost host;
    host.add_boards(1);
    host.remove_driver_directory();
    result = host.run({"--set-node", "0"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.node_file(), "0\n");
}

} // namespace
