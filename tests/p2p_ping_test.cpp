// The P2P ping test: the host's pattern goes into each GPU's test word before
// the driver is asked for a peer read or write, and the word is read after.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using bench::DriverCommand;
using bench::FakeHost;
using bench::SimulatedDriver;

std::string line(const std::string& gpu, const char* word)
{
    return gpu + " read mem 0x40000000: " + word + "\n";
}

struct PingCase {
    const char* action;
    const char* node;
    const char* printed; // the word each GPU shows
    const char* direction; // the ping sent, if any
};

TEST(P2pPing, ServesEachActionOnBothGpus)
{
    const auto layout = bench::board_spec(0);
    const PingCase cases[] = {
        {"reset-data", "0", "2b7c0000", nullptr},
        {"reset-data", "1", "2b7c1111", nullptr},
        {"read-data", "0", "cafe0000", nullptr},
        {"p2p-read", "0", "5eed0001", "r"},  // the peer's word came back
        {"p2p-read", "1", "5eed0001", "r"},
        {"p2p-write", "0", "2b7c0000", "w"}, // the local pattern went out
        {"p2p-write", "1", "2b7c1111", "w"},
    };
    for (const PingCase& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " on node " + c.node);
        FakeHost host;
        host.add_board(layout);
        host.driver().set_test_word(layout.gpu0, 0xcafe0000);
        host.driver().set_test_word(layout.gpu1, 0xcafe0000);
        const auto result = host.run({"--set-node", c.node, "--p2p-ping", c.action});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, line(layout.gpu0, c.printed) + line(layout.gpu1, c.printed)
                                  + "Host Node ID: " + c.node + "\n");

        const uint32_t pattern = std::string(c.node) == "0" ? 0x2b7c0000 : 0x2b7c1111;
        std::vector<DriverCommand> expected = {
            {layout.gpu0, "pt_p2p_cfg 0 21000000000", 0xcafe0000},
            {layout.gpu1, "pt_p2p_cfg 1 21800000000", 0xcafe0000},
        };
        if (c.direction != nullptr) {
            // The pattern was in place when the command arrived; windows keep
            // all their digits.
            expected.push_back({layout.gpu0, std::string("p2p_ping ") + c.direction + " 21000000000",
                                pattern});
            expected.push_back({layout.gpu1, std::string("p2p_ping ") + c.direction + " 21800000000",
                                pattern});
        }
        const uint32_t final_word = std::stoul(c.printed, nullptr, 16);
        expected.push_back({layout.gpu0, std::string("node ") + c.node, final_word});
        EXPECT_EQ(host.driver_commands(), expected);
        if (std::string(c.action) == "p2p-write") {
            EXPECT_EQ(host.driver().peer_word(layout.gpu1), pattern);
        }
    }
}

TEST(P2pPing, PingsGoThroughTheDevicePathAndTheRestThroughTheDriver)
{
    FakeHost host;
    const auto layout = bench::board_spec(0);
    host.add_board(layout);
    host.separate_driver_path(layout.gpu0);
    host.separate_driver_path(layout.gpu1);
    EXPECT_EQ(host.run({"--set-node", "0", "--p2p-ping", "p2p-read"}).status, 0);
    std::vector<std::string> through_device;
    for (const DriverCommand& command : host.driver_commands())
        through_device.push_back(command.gpu + " " + command.line);
    EXPECT_EQ(through_device, (std::vector<std::string>{layout.gpu0 + " p2p_ping r 21000000000",
                                                        layout.gpu1 + " p2p_ping r 21800000000"}));
    // Each plain file holds the last command sent through the driver's path.
    const std::string driver = host.root() + "/sys_bus_pci/drivers/norvane/";
    const auto last0 = host.read_bytes(driver + layout.gpu0 + "/itr_debug");
    const auto last1 = host.read_bytes(driver + layout.gpu1 + "/itr_debug");
    EXPECT_EQ(std::string(last0.begin(), last0.end()), "node 0\n");
    EXPECT_EQ(std::string(last1.begin(), last1.end()), "pt_p2p_cfg 1 21800000000\n");
}

TEST(P2pPing, AnythingButTheFourActionsIsRefusedBeforeAnythingIsTouched)
{
    for (const char* action : {"P2P-READ", "p2p-read ", "ping", "read"}) {
        SCOPED_TRACE(action);
        FakeHost host;
        host.add_boards(2);
        const auto layout = bench::board_spec(0);
        const auto window = host.read_bytes(host.device_path(layout.switch_port, "resource0"));
        const auto result = host.run({"--set-node", "0", "--info", "--topo", "--p2p-ping", action});
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "--ping-p2p: required Text(eg：p2p-read or p2p-write or reset-data "
                              "or read-data)\n");
        EXPECT_TRUE(host.driver_commands().empty());
        EXPECT_EQ(host.read_bytes(host.device_path(layout.switch_port, "resource0")), window);
        EXPECT_EQ(host.command_register(layout.port0), 0x0400);
        EXPECT_EQ(host.driver().test_word(layout.gpu0), 0u);
    }
}

TEST(P2pPing, EmptyActionRunsNoTest)
{
    FakeHost host;
    host.add_boards(1);
    const auto result = host.run({"--set-node", "0", "--p2p-ping", ""});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Host Node ID: 0\n");
}

TEST(P2pPing, UnusableGpuMemoryStopsThatBoardOnly)
{
    struct Case {
        const char* name;
        uint64_t memory_size; // 0: no resource0 file
        const char* message_format;
    };
    const Case cases[] = {
        {"no resource0", 0, "Error: Failed to open %s\n"},
        {"1 GiB + 2 MiB - 4", 0x40200000 - 4, "Map device register failed!\n"},
        {"4 KiB", 4096, "Map device register failed!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        auto broken = bench::board_spec(0);
        broken.gpu_memory_size = c.memory_size == 0 ? 4096 : c.memory_size;
        host.add_board(broken);
        host.add_board(bench::board_spec(1));
        if (c.memory_size == 0)
            std::filesystem::remove(host.device_path(broken.gpu0, "resource0"));
        const auto result = host.run({"--set-node", "0", "--p2p-ping", "reset-data"});
        char message[128];
        std::snprintf(message, sizeof message, c.message_format, broken.gpu0.c_str());
        const auto next = bench::board_spec(1);
        EXPECT_EQ(result.out, message + line(next.gpu0, "2b7c0000") + line(next.gpu1, "2b7c0000")
                                  + "Host Node ID: 0\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(host.driver().test_word(broken.gpu1), 0u); // GPU 1 was not tried
    }
}

} // namespace
