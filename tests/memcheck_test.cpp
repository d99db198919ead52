// valgrind's memcheck on a full run and on a daemon event: no invalid access,
// no leak, and no descriptor left open that should not be.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <sstream>

namespace {

using bench::FakeHost;
using bench::RunOptions;
using namespace std::chrono_literals;

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The descriptors open at exit that the tool itself opened, each with what
// valgrind says of it (it marks those inherited from the bench as such).
std::vector<std::string> opened_by_the_tool(const std::string& report)
{
    std::vector<std::string> entries;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("Open file descriptor ");
        if (at != std::string::npos)
            entries.push_back(line.substr(at));
        else if (!entries.empty() && line.find("==    ") != std::string::npos)
            entries.back() += "\n" + line;
    }
    std::vector<std::string> opened;
    for (const std::string& entry : entries) {
        if (entry.find("<inherited from parent>") == std::string::npos)
            opened.push_back(entry);
    }
    return opened;
}

class Memcheck : public testing::Test {
protected:
    void SetUp() override
    {
#ifdef KA720_SANITIZED
        GTEST_SKIP() << "valgrind cannot run a sanitized binary";
#endif
        if (std::system("command -v valgrind >/dev/null") != 0)
            GTEST_SKIP() << "valgrind is not installed";
        host.add_boards(2);
        log = host.root() + "/valgrind.log";
        options.wrapper = {"valgrind", "--error-exitcode=99", "--leak-check=full",
                           "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
                           "--track-fds=yes", "--log-file=" + log};
    }

    FakeHost host;
    RunOptions options;
    std::string log;
};

TEST_F(Memcheck, FullRun)
{
    const auto result = host.run({"--set-node", "1", "--info", "--print-reg", "--topo", "--p2p-ping",
                                  "p2p-read"},
                                 options);
    const std::string report = read_file(log);
    EXPECT_EQ(result.status, 0) << report;
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    EXPECT_NE(report.find("FILE DESCRIPTORS:"), std::string::npos) << report;
    EXPECT_EQ(opened_by_the_tool(report), std::vector<std::string>{}) << report;
    EXPECT_EQ(host.driver_commands().size(), 9u); // 4 windows, 4 pings, the node
}

TEST_F(Memcheck, DaemonEvent)
{
    host.set_node_file("0\n");
    auto daemon = host.start({"--daemon"}, options);
    ASSERT_TRUE(bench::wait_until([&] { return daemon->watching_dev() || !daemon->running(); }, 60s));
    daemon->create_in_dev("norvane0");
    ASSERT_TRUE(bench::wait_until([&] { return host.driver_commands().size() == 5; }, 60s));
    ASSERT_TRUE(bench::wait_until([&] { return daemon->waiting_for_events(); }, 60s));
    daemon->terminate(SIGTERM);
    const std::string report = read_file(log);
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    // Only the inotify descriptor, which the daemon holds while it runs.
    const auto opened = opened_by_the_tool(report);
    ASSERT_EQ(opened.size(), 1u) << report;
    EXPECT_NE(opened[0].find("inotify_init1"), std::string::npos) << report;
}

} // namespace
