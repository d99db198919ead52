// The fault matrix: for each broken piece of the host, what the operator is
// told, the exit status, and that nothing was written where it must not be.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using bench::FakeHost;
using bench::RunOptions;

struct Fault {
    const char* name;
    std::function<void(FakeHost&, RunOptions&)> arrange;
    std::vector<std::string> arguments;
    int status;
    std::string out;        // a text the output must hold
    std::string err;        // a text standard error must hold ("" : must be empty)
    bool switch_programmed; // board 0's switch window
    std::size_t commands;   // lines the driver received
    std::optional<std::string> node_file;
};

const bench::BoardSpec board = bench::board_spec(0);
const std::string node_refusal = "Please set current host node id. (0 or 1).\n";

const Fault faults[] = {
    {"switch resource0 missing",
     [](FakeHost& h, RunOptions&) { fs::remove(h.device_path(board.switch_port, "resource0")); },
     {"--print-reg"}, 0, "Error: Failed to open /sys/bus/pci/devices/0000:13:00.0/resource0\n", "",
     false, 3, "1\n"},
    {"switch resource0 unreadable (a directory)",
     [](FakeHost& h, RunOptions&) {
         const std::string window = h.device_path(board.switch_port, "resource0");
         fs::remove(window);
         fs::create_directory(window);
     },
     {}, 0, "Error: Failed to open /sys/bus/pci/devices/0000:13:00.0/resource0\n", "", false, 3,
     "1\n"},
    {"switch window of 4 KiB",
     [](FakeHost& h, RunOptions&) { fs::resize_file(h.device_path(board.switch_port, "resource0"), 4096); },
     {"--print-reg"}, 0, "is 4096 bytes, smaller than 0x40000; the switch is not touched.\n", "",
     false, 3, "1\n"},
    {"GPU memory smaller than 0x40200000",
     [](FakeHost& h, RunOptions&) { fs::resize_file(h.device_path(board.gpu0, "resource0"), 0x40000000); },
     {"--p2p-ping", "p2p-write"}, 0, "Map device register failed!\n", "", true, 3, "1\n"},
    {"lspci missing from PATH",
     [](FakeHost& h, RunOptions& o) { o.path = h.commands_without({"lspci"}); },
     {}, 255, "Error: no 32G memory region found for 0000:11:00.0", "lspci", false, 0, "1\n"},
    {"setpci missing from PATH",
     [](FakeHost& h, RunOptions& o) { o.path = h.commands_without({"setpci"}); },
     {}, 255, "Wrong topo, Please check your env!\n", "", false, 0, "1\n"},
    {"itr_debug missing", [](FakeHost& h, RunOptions&) { h.driver().remove_gpu(board.gpu0); },
     {}, 0, "Host Node ID: 1\n", "itr_debug", true, 1, "1\n"},
    {"itr_debug not writable",
     [](FakeHost& h, RunOptions&) { h.driver().add_gpu(board.gpu0, true); },
     {}, 0, "Host Node ID: 1\n", "itr_debug", true, 1, "1\n"},
    {"driver directory missing", [](FakeHost& h, RunOptions&) { h.remove_driver_directory(); },
     {}, 255, "Please load KA720 driver firstly.\n", "minor", false, 0, "1\n"},
    {"node file missing",
     [](FakeHost& h, RunOptions&) { fs::remove(h.root() + "/usr_local/kz/etc/kz_node"); },
     {}, 255, node_refusal, "", false, 0, std::nullopt},
    {"node file empty", [](FakeHost& h, RunOptions&) { h.set_node_file(""); },
     {}, 255, node_refusal, "", false, 0, ""},
    {"node file holding 7", [](FakeHost& h, RunOptions&) { h.set_node_file("7\n"); },
     {}, 255, node_refusal, "", false, 0, "7\n"},
    {"node file holding a shell command",
     [](FakeHost& h, RunOptions&) {
         fs::remove("/tmp/x");
         h.set_node_file("1; touch /tmp/x\n");
     },
     {}, 255, node_refusal, "", false, 0, "1; touch /tmp/x\n"},
    {"node file of 64+ characters",
     [](FakeHost& h, RunOptions&) { h.set_node_file(std::string(64, '1') + "\n"); },
     {}, 255, node_refusal, "", false, 0, std::string(64, '1') + "\n"},
    {"minor holding a shell command",
     [](FakeHost& h, RunOptions&) {
         fs::remove("/tmp/x");
         std::ofstream(h.device_path(board.gpu0, "minor")) << "3; touch /tmp/x\n";
     },
     {"--info"}, 0, "Error: GPU 0000:11:00.0 has no minor number from the driver", "", true, 2,
     "1\n"},
    {"devices directory unreadable",
     [](FakeHost& h, RunOptions&) {
         fs::remove_all(h.root() + "/sys_bus_pci/devices");
         std::ofstream(h.root() + "/sys_bus_pci/devices") << "not a directory\n";
     },
     {}, 255, "Error: cannot list /sys/bus/pci/devices/: Not a directory\n", "", false, 0, "1\n"},
    {"0x8725 function whose setpci prints nothing",
     [](FakeHost& h, RunOptions&) {
         fs::resize_file(h.device_path(board.switch_port, "config"), 0);
     },
     {}, 255, "Wrong topo, Please check your env!\n", "", false, 0, "1\n"},
};

TEST(Faults, EachIsReportedAndWritesNothingItMustNot)
{
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        FakeHost host;
        host.add_board(board);
        host.set_node_file("1\n");
        RunOptions options;
        fault.arrange(host, options);
        const std::string window = host.device_path(board.switch_port, "resource0");
        const auto window_before = fs::is_regular_file(window) ? host.read_bytes(window)
                                                                : std::vector<uint8_t>{};

        const auto result = host.run(fault.arguments, options);
        EXPECT_EQ(result.status, fault.status);
        EXPECT_NE(result.out.find(fault.out), std::string::npos) << result.out;
        if (fault.err.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(fault.err), std::string::npos) << result.err;
        }
        if (fs::is_regular_file(window) && !fault.switch_programmed) {
            EXPECT_EQ(host.read_bytes(window), window_before);
        }
        if (fault.switch_programmed) {
            EXPECT_EQ(host.switch_word(board.switch_port, 0x3F070), 0x837u);
        }
        EXPECT_EQ(host.driver_commands().size(), fault.commands);
        EXPECT_EQ(result.node_file(), fault.node_file);
    }
    EXPECT_FALSE(fs::exists("/tmp/x"));
}

TEST(Faults, AThousandUnrelatedFunctionsChangeNothing)
{
    FakeHost host;
    host.add_boards(2);
    host.add_unrelated_functions(1000, 1);
    const auto started = std::chrono::steady_clock::now();
    const auto result = host.run({"--set-node", "0", "--topo"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(host.driver_commands().size(), 5u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

} // namespace
