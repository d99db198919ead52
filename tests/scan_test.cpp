// The device scan: which functions of the PCI tree make up boards, and in
// which order. The fake tree must also look real to lspci and setpci.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using bench::board_spec;
using bench::FakeFunction;
using bench::FakeHost;

// The BDFs that --info shows, in the order shown.
std::vector<std::string> reported_bdfs(const std::string& info)
{
    std::vector<std::string> bdfs;
    const std::string label = "bdf: ";
    for (std::size_t at = info.find(label); at != std::string::npos; at = info.find(label, at + 1))
        bdfs.push_back(info.substr(at + label.size(), 12));
    return bdfs;
}

FakeFunction function(const std::string& bdf, std::optional<std::string> vendor,
                      std::optional<std::string> device, int port_type = 0)
{
    FakeFunction f = bench::network_card(bdf);
    f.vendor = std::move(vendor);
    f.device = std::move(device);
    f.port_type = port_type;
    return f;
}

TEST(FakeTree, LspciAndSetpciReadIt)
{
    FakeHost host;
    host.add_boards(1);
    const auto board = board_spec(0);
    host.add_function(function("0000:15:00.0", "0x10b5\n", "0x8725\n", 6));
    const auto result = host.run_shell(
        "setpci -s " + board.switch_port + " CAP_EXP.l; setpci -s 0000:15:00.0 CAP_EXP.l; "
        "lspci -s " + board.gpu0 + " -vvv 2>/dev/null | grep size=32G; "
        "lspci -s " + board.port1 + " -vvv 2>/dev/null | grep size=32G");
    EXPECT_EQ(result.out, "00520010\n00620010\n"
                          "\tRegion 0: Memory at 20000000000 (64-bit, prefetchable) [size=32G]\n"
                          "\tRegion 2: Memory at 21800000000 (64-bit, prefetchable) [disabled] [size=32G]\n");
}

TEST(Scan, TakesBoardFunctionsInByteOrderAmongOthers)
{
    FakeHost host;
    host.add_boards(2);
    const std::string bad_name = "0000:1c:00.0;touch${IFS}ka720-scan-injection";
    for (const FakeFunction& other : {
             function("0000:00:1f.0", "0x8086\n", "0x2030\n", 4),   // root port
             function("0000:12:00.1", "0x8086\n", "0x1521\n"),      // network card
             function("0000:15:00.0", "0x10b5\n", "0x8725\n", 6),   // downstream port
             function("0000:16:00.0", "0x2b7c\n", "0x0030\n"),      // other accelerator device
             function("0000:17:00.0", "0x2B7C\n", "0x0029\n"),      // letter case differs
             function("0000:18:00.0", std::nullopt, "0x0029\n"),    // no vendor file
             function("0000:19:00.0", "\n", "0x0029\n"),            // empty vendor file
             function("0000:1a:00.0", "0x2b7c\n", std::nullopt),    // no device file
             function("0000:1B:00.0", "0x2b7c\n", "0x0029\n"),      // not the kernel's form
             function(bad_name, "0x2b7c\n", "0x0029\n"),
             function("0000:1d:00.0", "0x10b5\n", "0x8725\n", -1),  // no PCIe capability
         })
        host.add_function(other);
    const auto result = host.run({"--set-node", "0", "--info"});
    EXPECT_EQ(result.status, 0) << result.out;
    std::vector<std::string> expected;
    for (int index = 0; index < 2; ++index) {
        const auto b = board_spec(index);
        expected.insert(expected.end(), {b.switch_port, b.gpu0, b.gpu1, b.port0, b.port1});
    }
    EXPECT_EQ(reported_bdfs(result.out), expected);
    EXPECT_FALSE(std::filesystem::exists("ka720-scan-injection"));
}

TEST(Scan, RefusesCountsThatMakeNoBoards)
{
    struct Case {
        int boards;
        std::vector<FakeFunction> extra;
        const char* message;
    };
    const Case cases[] = {
        {0, {}, "No KA72 GPU found.\n"},
        {0, {function("0000:05:00.0", "0x8086\n", "0x1521\n")}, "No KA72 GPU found.\n"},
        {1, {function("0000:05:00.0", "0x10b5\n", "0x87b0\n"),
             function("0000:06:00.0", "0x2b7c\n", "0x0021\n")},
         "Wrong topo, Please check your env!\n"},
    };
    for (const Case& c : cases) {
        for (const bool daemon : {false, true}) {
            FakeHost host;
            host.add_boards(c.boards);
            for (const FakeFunction& f : c.extra)
                host.add_function(f);
            const auto result = host.run(daemon ? std::vector<std::string>{"--set-node", "1", "--daemon"}
                                                : std::vector<std::string>{"--set-node", "1"});
            EXPECT_EQ(result.status, 255);
            EXPECT_EQ(result.out, c.message);
            EXPECT_EQ(result.node_file(), "1\n");
            EXPECT_TRUE(host.driver_commands().empty());
        }
    }
}

TEST(Scan, UnlistableDevicesDirectoryIsReported)
{
    FakeHost host;
    std::filesystem::remove_all(host.root() + "/sys_bus_pci/devices");
    const auto result = host.run({"--set-node", "0"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out,
              "Error: cannot list /sys/bus/pci/devices/: No such file or directory\n");
}

} // namespace
