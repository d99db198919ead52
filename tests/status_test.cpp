// ka720-optical-status: the same facts as --topo in machine formats, and
// never a byte written anywhere.

#include "fake_host.hpp"
#include "mini_json.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using bench::FakeHost;
using bench::RunOptions;

RunOptions status_run()
{
    RunOptions options;
    options.program = KA720_STATUS_TOOL;
    return options;
}

// Two boards; board 1's port 1 link is down.
void two_boards_one_down(FakeHost& host)
{
    host.add_board(bench::board_spec(0));
    auto second = bench::board_spec(1);
    second.port1_link = bench::link_down;
    host.add_board(second);
    host.set_node_file("1\n");
}

TEST(Status, JsonReportsEveryBoardField)
{
    FakeHost host;
    two_boards_one_down(host);
    const auto result = host.run({"--format", "json"}, status_run());
    EXPECT_EQ(result.status, 128);
    EXPECT_EQ(result.err, "");
    const mini_json::Value json = mini_json::parse(result.out);
    EXPECT_EQ(json.keys(), (std::vector<std::string>{"schema_version", "host_node_id",
                                                     "host_node_id_reason", "all_links_up",
                                                     "boards"}));
    EXPECT_EQ(json["schema_version"].number(), 1);
    EXPECT_EQ(json["host_node_id"].number(), 1);
    EXPECT_TRUE(json["host_node_id_reason"].is_null());
    EXPECT_FALSE(json["all_links_up"].boolean());
    ASSERT_EQ(json["boards"].array().size(), 2u);

    struct Expected {
        const char* addresses[4]; // gpu0 bar0, gpu1 bar0, port0 bar2, port1 bar2
        const char* words[2];
        bool up[2];
        const char* speeds[2];
        double widths[2];
    };
    const Expected expected[] = {
        {{"0x20000000000", "0x20800000000", "0x21000000000", "0x21800000000"},
         {"0x00430000", "0x00830000"}, {true, true}, {"8.0 GT/s", "8.0 GT/s"}, {4, 8}},
        {{"0x22000000000", "0x22800000000", "0x23000000000", "0x23800000000"},
         {"0x00430000", "0x20420000"}, {true, false}, {"8.0 GT/s", "5.0 GT/s"}, {4, 4}},
    };
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        const auto layout = bench::board_spec(index);
        const auto& board = json["boards"][static_cast<std::size_t>(index)];
        const Expected& e = expected[index];
        EXPECT_EQ(board["index"].number(), index);
        EXPECT_EQ(board["switch_bdf"].text(), layout.switch_port);
        EXPECT_TRUE(board["switch_error"].is_null());
        const std::string gpus[2] = {layout.gpu0, layout.gpu1};
        const std::string ports[2] = {layout.port0, layout.port1};
        for (std::size_t n = 0; n < 2; ++n) {
            const auto& gpu = board["gpus"][n];
            EXPECT_EQ(gpu["bdf"].text(), gpus[n]);
            EXPECT_EQ(gpu["bar0"].text(), e.addresses[n]);
            EXPECT_EQ(gpu["minor"].text(), std::to_string(2 * index + static_cast<int>(n)));
            const auto& port = board["ports"][n];
            EXPECT_EQ(port["bdf"].text(), ports[n]);
            EXPECT_EQ(port["bar2"].text(), e.addresses[2 + n]);
            EXPECT_EQ(port["gpu_bdf"].text(), gpus[n]);
            EXPECT_EQ(port["link_word"].text(), e.words[n]);
            EXPECT_EQ(port["link_up"].boolean(), e.up[n]);
            EXPECT_EQ(port["speed"].text(), e.speeds[n]);
            EXPECT_EQ(port["width"].number(), e.widths[n]);
        }
    }
}

TEST(Status, JsonSaysWhyThereIsNoNodeIdOrLink)
{
    FakeHost host;
    host.add_boards(1);
    fs::resize_file(host.device_path(bench::board_spec(0).switch_port, "resource0"), 4096);
    const auto result = host.run({}, status_run()); // not a terminal: JSON
    EXPECT_EQ(result.status, 128);
    const auto json = mini_json::parse(result.out);
    EXPECT_TRUE(json["host_node_id"].is_null());
    EXPECT_EQ(json["host_node_id_reason"].text(), "no host node file /usr/local/kz/etc/kz_node");
    const auto& board = json["boards"][0];
    EXPECT_EQ(board["switch_error"].text(), "register window smaller than 0x40000 bytes");
    EXPECT_TRUE(board["ports"][0]["link_word"].is_null());
    EXPECT_FALSE(board["ports"][0]["link_up"].boolean());
}

// Prometheus's text format, read line by line: every sample's metric has its
// HELP and TYPE lines first, and no sample appears twice.
std::map<std::string, std::string> prometheus_samples(const std::string& text)
{
    std::map<std::string, std::string> samples;
    std::set<std::string> helped;
    std::set<std::string> typed;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        std::string name;
        words >> first;
        if (first == "#") {
            std::string kind;
            words >> kind >> name;
            if (kind == "HELP")
                helped.insert(name);
            else if (kind == "TYPE")
                typed.insert(name);
            else
                ADD_FAILURE() << "unknown comment: " << line;
            if (kind == "TYPE") {
                std::string type;
                words >> type;
                EXPECT_EQ(type, "gauge") << line;
            }
            continue;
        }
        const std::string series = first;
        name = series.substr(0, series.find('{'));
        EXPECT_TRUE(helped.count(name) && typed.count(name)) << "no HELP/TYPE before " << line;
        std::string value;
        words >> value;
        EXPECT_TRUE(samples.emplace(series, value).second) << "twice: " << series;
    }
    return samples;
}

TEST(Status, PrometheusTextFile)
{
    FakeHost host;
    two_boards_one_down(host);
    const auto result = host.run({"--format", "prometheus"}, status_run());
    EXPECT_EQ(result.status, 128);
    const auto b0 = bench::board_spec(0);
    const auto b1 = bench::board_spec(1);
    auto labels = [](int board, int port, const std::string& gpu) {
        return "{board=\"" + std::to_string(board) + "\",port=\"" + std::to_string(port)
               + "\",gpu=\"" + gpu + "\"}";
    };
    const std::map<std::string, std::string> expected = {
        {"ka720_boards", "2"},
        {"ka720_host_node_id", "1"},
        {"ka720_link_up" + labels(0, 0, b0.gpu0), "1"},
        {"ka720_link_up" + labels(0, 1, b0.gpu1), "1"},
        {"ka720_link_up" + labels(1, 0, b1.gpu0), "1"},
        {"ka720_link_up" + labels(1, 1, b1.gpu1), "0"},
        {"ka720_link_speed_gts" + labels(0, 0, b0.gpu0), "8.0"},
        {"ka720_link_speed_gts" + labels(0, 1, b0.gpu1), "8.0"},
        {"ka720_link_speed_gts" + labels(1, 0, b1.gpu0), "8.0"},
        {"ka720_link_speed_gts" + labels(1, 1, b1.gpu1), "5.0"},
        {"ka720_link_width" + labels(0, 0, b0.gpu0), "4"},
        {"ka720_link_width" + labels(0, 1, b0.gpu1), "8"},
        {"ka720_link_width" + labels(1, 0, b1.gpu0), "4"},
        {"ka720_link_width" + labels(1, 1, b1.gpu1), "4"},
    };
    EXPECT_EQ(prometheus_samples(result.out), expected);

    if (std::system("command -v promtool >/dev/null") == 0) {
        const std::string file = host.root() + "/metrics.prom";
        std::ofstream(file) << result.out;
        EXPECT_EQ(std::system(("promtool check metrics < " + file).c_str()), 0);
    }
}

TEST(Status, PlainTableHasNoColour)
{
    FakeHost host;
    two_boards_one_down(host);
    const auto result = host.run({"--format", "table"}, status_run());
    EXPECT_EQ(result.status, 128);
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(result.out,
              "host node id: 1\n"
              "board  port  gpu           link   speed      width  word\n"
              "0      0     0000:11:00.0  up     8.0 GT/s   x4     0x00430000\n"
              "0      1     0000:12:00.0  up     8.0 GT/s   x8     0x00830000\n"
              "1      0     0000:21:00.0  up     8.0 GT/s   x4     0x00430000\n"
              "1      1     0000:22:00.0  down   5.0 GT/s   x4     0x20420000\n");
}

// Everything the tool could write: switch windows and configuration spaces.
std::map<std::string, std::vector<uint8_t>> written_state(const FakeHost& host)
{
    std::map<std::string, std::vector<uint8_t>> state;
    for (const auto& entry : fs::recursive_directory_iterator(host.root() + "/sys_bus_pci/devices")) {
        if (entry.is_regular_file() && fs::file_size(entry.path()) < (1u << 20))
            state[entry.path().string()] = host.read_bytes(entry.path().string());
    }
    return state;
}

TEST(Status, WritesNothingAnywhere)
{
    FakeHost host;
    two_boards_one_down(host);
    const auto before = written_state(host);
    for (const char* format : {"json", "prometheus", "table"}) {
        RunOptions options = status_run();
        options.read_only_tree = true; // a write into the PCI tree would fail
        const auto result = host.run({"--format", format}, options);
        EXPECT_EQ(result.status, 128) << format;
        EXPECT_EQ(result.err, "") << format;
        EXPECT_EQ(result.node_file(), "1\n");
        if (std::string(format) == "json") {
            // The switch windows were read through a read-only mapping.
            const auto json = mini_json::parse(result.out);
            EXPECT_TRUE(json["boards"][0]["switch_error"].is_null()) << result.out;
            EXPECT_TRUE(json["boards"][0]["ports"][0]["link_up"].boolean());
        }
    }
    EXPECT_EQ(written_state(host), before);
    EXPECT_TRUE(host.driver_commands().empty());
    EXPECT_EQ(host.driver().test_word(bench::board_spec(0).gpu0), 0u);
}

TEST(Status, TextfileScriptReplacesTheMetricsFileAtomically)
{
    FakeHost host;
    two_boards_one_down(host);
    const std::string directory = host.root() + "/textfile";
    fs::create_directories(directory);
    std::ofstream(directory + "/ka720.prom") << "old\n";
    const auto result = host.run_shell("KA720_OPTICAL_STATUS=" KA720_STATUS_TOOL " sh " KA720_TEXTFILE_SCRIPT " "
                                       + directory + "/ka720.prom");
    EXPECT_EQ(result.status, 0) << result.err; // a down link is still a report
    const auto metrics = host.read_bytes(directory + "/ka720.prom");
    const std::string text(metrics.begin(), metrics.end());
    EXPECT_NE(text.find("ka720_boards 2\n"), std::string::npos) << text;
    EXPECT_EQ(fs::status(directory + "/ka720.prom").permissions() & fs::perms::others_read,
              fs::perms::others_read);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory))
        ++files;
    EXPECT_EQ(files, 1u); // no temporary file left behind
}

TEST(Status, AllLinksUpGivesZero)
{
    FakeHost host;
    host.add_boards(2);
    EXPECT_EQ(host.run({"--format", "table"}, status_run()).status, 0);
}

TEST(Status, RefusesLikeTheTool)
{
    struct Case {
        const char* name;
        int boards;
        bool as_root;
        bool extra_function;
        const char* message;
    };
    const Case cases[] = {
        {"not root", 1, false, false, "Requires root privileges."},
        {"no accelerator function", 0, true, false, "No KA72 GPU found."},
        {"six functions", 1, true, true, "Wrong topo, Please check your env!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.add_boards(c.boards);
        if (c.extra_function) {
            auto nt = bench::network_card("0000:05:00.0");
            nt.vendor = "0x10b5\n";
            nt.device = "0x87b0\n";
            host.add_function(nt);
        }
        RunOptions options = status_run();
        options.as_root = c.as_root;
        auto result = host.run({}, options);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.err, std::string(c.message) + "\n");
        EXPECT_EQ(mini_json::parse(result.out)["error"].text(), c.message);

        result = host.run({"--format", "prometheus"}, options);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string(c.message) + "\n");
    }
}

TEST(Status, UnknownFormatIsACommandLineError)
{
    FakeHost host;
    host.add_boards(1);
    const auto result = host.run({"--format", "xml"}, status_run());
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.status, 255);
    EXPECT_NE(result.err.find("xml"), std::string::npos);
}

} // namespace
