// Daemon mode: every creation of a "norvane" entry in /dev re-applies the link
// configuration of every board and then the node id from the node file.

#include "fake_host.hpp"
#include "inotify_records.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/inotify.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using bench::DevEntry;
using bench::DriverCommand;
using bench::FakeHost;
using bench::RunningTool;
using bench::wait_until;

// --- the record walk -------------------------------------------------------

void append_record(std::vector<char>& bytes, uint32_t mask, const std::string& name,
                   uint32_t padded_length)
{
    inotify_event header{};
    header.wd = 1;
    header.mask = mask;
    header.len = padded_length;
    const char* raw = reinterpret_cast<const char*>(&header);
    bytes.insert(bytes.end(), raw, raw + sizeof header);
    std::string padded = name;
    padded.resize(padded_length, '\0');
    bytes.insert(bytes.end(), padded.begin(), padded.end());
}

TEST(InotifyRecords, CountsCreationsOfDriverNodesAndOverflows)
{
    std::vector<char> bytes;
    append_record(bytes, IN_CREATE, "norvane0", 16);
    append_record(bytes, IN_DELETE, "norvane0", 16);
    append_record(bytes, IN_CREATE, "Norvane0", 16);
    append_record(bytes, IN_CREATE | IN_ISDIR, "xnorvanex", 16);
    append_record(bytes, IN_CREATE, "nvme0", 16);
    append_record(bytes, IN_CREATE, "", 0);
    append_record(bytes, IN_Q_OVERFLOW, "", 0);
    append_record(bytes, IN_CREATE, "norvane", 8); // fills its length without a NUL
    EXPECT_EQ(count_reconfiguration_events(bytes.data(), bytes.size()), 4u);
}

TEST(InotifyRecords, NeverReadsPastTheBytesRead)
{
    std::vector<char> bytes;
    append_record(bytes, IN_CREATE, "norvane0", 16);
    append_record(bytes, IN_CREATE, "norvane1", 16);
    const std::size_t one_record = sizeof(inotify_event) + 16;
    // Each cut keeps only the records that are whole.
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        std::vector<char> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
        EXPECT_EQ(count_reconfiguration_events(cut.data(), cut.size()), length / one_record)
            << length;
    }
    // A name length beyond the buffer stops the walk.
    std::vector<char> lying;
    append_record(lying, IN_CREATE, "norvane0", 16);
    inotify_event header{};
    std::memcpy(&header, lying.data(), sizeof header);
    header.len = 0xfffffff0;
    std::memcpy(lying.data(), &header, sizeof header);
    EXPECT_EQ(count_reconfiguration_events(lying.data(), lying.size()), 0u);
}

// --- the daemon on the bench -----------------------------------------------

std::size_t passes_in(const std::string& out)
{
    std::size_t count = 0;
    for (std::size_t at = out.find("Configuring...\n"); at != std::string::npos;
         at = out.find("Configuring...\n", at + 1))
        ++count;
    return count;
}

// One pass over two boards: their four windows, then the node id.
std::vector<DriverCommand> pass(int node)
{
    const auto b0 = bench::board_spec(0);
    const auto b1 = bench::board_spec(1);
    return {{b0.gpu0, "pt_p2p_cfg 0 21000000000", 0},
            {b0.gpu1, "pt_p2p_cfg 1 21800000000", 0},
            {b1.gpu0, "pt_p2p_cfg 2 23000000000", 0},
            {b1.gpu1, "pt_p2p_cfg 3 23800000000", 0},
            {b0.gpu0, "node " + std::to_string(node), 0}};
}

std::vector<DriverCommand> passes(std::initializer_list<int> nodes)
{
    std::vector<DriverCommand> all;
    for (const int node : nodes) {
        const auto one = pass(node);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

class Daemon : public testing::Test {
protected:
    void start(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> arguments = {"--daemon"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        daemon = host.start(arguments);
        ASSERT_TRUE(wait_until([&] { return daemon->watching_dev() || !daemon->running(); }));
        ASSERT_TRUE(daemon->running()) << daemon->out() << daemon->err();
    }

    // Waits until the driver has received `count` commands in all.
    void await_commands(std::size_t count)
    {
        EXPECT_TRUE(wait_until([&] { return host.driver_commands().size() >= count; }))
            << host.driver_commands().size() << " commands\n" << daemon->out();
    }

    // The node file as the daemon sees it, in its own /usr/local.
    std::string node_file() const
    {
        return "/proc/" + std::to_string(daemon->pid()) + "/root/usr/local/kz/etc/kz_node";
    }

    void write_node_file(const std::string& text) const
    {
        std::ofstream(node_file(), std::ios::trunc) << text;
    }

    FakeHost host;
    std::unique_ptr<RunningTool> daemon;

    void SetUp() override
    {
        host.add_boards(2);
        host.set_node_file("1\n");
    }
};

TEST_F(Daemon, ConfiguresEveryBoardOnceANodeAppearsAndIgnoresItsRemoval)
{
    start();
    EXPECT_TRUE(host.driver_commands().empty());
    daemon->create_in_dev("norvane0");
    await_commands(5);
    EXPECT_EQ(daemon->out(), "Configuring...\n");
    EXPECT_EQ(host.driver_commands(), pass(1));
    for (int index = 0; index < 2; ++index) {
        const auto layout = bench::board_spec(index);
        EXPECT_EQ(host.switch_word(layout.switch_port, 0x3F070), 0x837u);
        EXPECT_EQ(host.command_register(layout.port1), 0x0406);
    }

    // Removing it does nothing: the next creation is the next pass.
    daemon->remove_from_dev("norvane0");
    daemon->create_in_dev("norvane1");
    await_commands(10);
    EXPECT_EQ(daemon->out(), "Configuring...\nConfiguring...\n");
    EXPECT_EQ(host.driver_commands(), passes({1, 1}));
    EXPECT_EQ(daemon->err(), "");
}

TEST_F(Daemon, OnlyCreatedNamesContainingNorvaneQualify)
{
    start();
    for (const char* name : {"Norvane0", "nvme0", "NORVANE", "norvan"})
        daemon->create_in_dev(name);
    daemon->create_in_dev("xnorvanex");
    daemon->create_in_dev("norvane-dir", DevEntry::directory);
    daemon->create_in_dev("norvane-link", DevEntry::symlink);
    await_commands(15);
    EXPECT_EQ(daemon->out(), "Configuring...\nConfiguring...\nConfiguring...\n");
    EXPECT_EQ(host.driver_commands().size(), 15u);
}

TEST_F(Daemon, EveryNodeOfABurstGetsItsOwnPass)
{
    start();
    daemon->pause(); // so that the four arrive in one read
    for (const char* name : {"norvane0", "norvane1", "norvane2", "norvane3"})
        daemon->create_in_dev(name);
    daemon->resume();
    await_commands(20);
    EXPECT_EQ(passes_in(daemon->out()), 4u);
    EXPECT_EQ(host.driver_commands(), passes({1, 1, 1, 1}));
}

TEST_F(Daemon, LostEventsStillGiveAPass)
{
    start();
    daemon->pause(); // so that the kernel's queue overflows
    std::size_t limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    for (std::size_t i = 0; i <= limit; ++i)
        daemon->create_in_dev("other" + std::to_string(i));
    daemon->resume();

    await_commands(5);
    daemon->create_in_dev("norvane0");
    await_commands(10);
    EXPECT_EQ(passes_in(daemon->out()), 2u);
}

TEST_F(Daemon, OneShotOptionsHaveNoEffectAndNothingIsPrintedWhileWaiting)
{
    start({"--info", "--print-reg", "--topo", "--p2p-ping", "bogus"});
    EXPECT_EQ(daemon->out(), "");
    EXPECT_TRUE(host.driver_commands().empty());
    daemon->create_in_dev("norvane0");
    await_commands(5);
    EXPECT_EQ(daemon->out(), "Configuring...\n");
    EXPECT_EQ(host.driver().test_word(bench::board_spec(0).gpu0), 0u);
    EXPECT_TRUE(daemon->running());
}

TEST_F(Daemon, SendsWhatTheNodeFileHoldsAtEachPass)
{
    std::filesystem::remove("/tmp/x");
    start();
    daemon->create_in_dev("norvane0");
    await_commands(5);
    write_node_file("0\n");
    daemon->create_in_dev("norvane1");
    await_commands(10);
    write_node_file("0; touch /tmp/x\n");
    daemon->create_in_dev("norvane2");
    EXPECT_TRUE(wait_until([&] { return !daemon->err().empty(); }));
    std::remove(node_file().c_str());
    daemon->create_in_dev("norvane3");
    await_commands(19);

    auto expected = passes({1, 0});
    const auto without_node = pass(1);
    expected.insert(expected.end(), without_node.begin(), without_node.end() - 1);
    const auto no_file = pass(0);
    expected.insert(expected.end(), no_file.begin(), no_file.end());
    EXPECT_EQ(host.driver_commands(), expected);
    EXPECT_EQ(daemon->err(), "Error: /usr/local/kz/etc/kz_node does not hold 0 or 1; "
                             "node id not sent to the driver.\n");
    EXPECT_FALSE(std::filesystem::exists("/tmp/x"));
}

TEST_F(Daemon, DriverLoadedAfterStartIsConfiguredWithItsMinors)
{
    const std::string driver = host.root() + "/sys_bus_pci/drivers/norvane";
    std::filesystem::rename(driver, host.root() + "/norvane-later");
    start();
    std::filesystem::rename(host.root() + "/norvane-later", driver);
    daemon->create_in_dev("norvane0");
    await_commands(5);
    EXPECT_EQ(host.driver_commands(), pass(1));
}

TEST_F(Daemon, EndsOnSigtermWithoutLeavingProcesses)
{
    start();
    daemon->create_in_dev("norvane0");
    await_commands(5);
    ASSERT_TRUE(wait_until([&] { return daemon->waiting_for_events(); }));
    const auto result = daemon->terminate(SIGTERM);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_TRUE(daemon->processes_left().empty());
}

} // namespace
