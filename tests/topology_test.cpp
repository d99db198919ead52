// The topology table: one coloured row per NT port, and exit status 128 once
// a row shows a link down.

#include "fake_host.hpp"

#include <gtest/gtest.h>

namespace {

using bench::FakeHost;

const std::string opening = "\n\n"
                            "\x1b[33m     Host0           Link Status           Host1\x1b[33m\n";
const std::string rule = "\x1b[37m----------------------------------------------------\x1b[37m\n";

std::string row(const std::string& label, bool up)
{
    const std::string symbol = up ? "\x1b[32m<--------->\x1b[32m" : "\x1b[31m-----X-----\x1b[31m";
    return "\x1b[37m    [GPU " + label + "]         " + symbol + "         \x1b[37m[GPU " + label
           + "]    \x1b[37m\n";
}

// Boards whose six ports carry these link words, in port order.
struct LinkCase {
    const char* name;
    std::vector<uint32_t> words; // board 0 port 0, board 0 port 1, board 1 port 0, ...
    std::vector<bool> up;
};

TEST(Topology, RowsFollowTheLinkWordsAndDownLinksGiveStatus128)
{
    const LinkCase cases[] = {
        {"all up", {0x430000, 0x830000, 0x830000, 0x430000}, {true, true, true, true}},
        {"last port down", {0x430000, 0x830000, 0x430000, 0x420000}, {true, true, true, false}},
        {"red then green", {0x810000, 0x430000, 0x430000, 0x430000}, {false, true, true, true}},
        {"near misses",
         {0x20430000, 0x430040, 0x830001, 0x0},
         {false, false, false, false}},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        for (int index = 0; index < 2; ++index) {
            auto layout = bench::board_spec(index);
            layout.port0_link = c.words[2 * index];
            layout.port1_link = c.words[2 * index + 1];
            host.add_board(layout);
        }
        const auto result = host.run({"--set-node", "0", "--topo"});
        std::string table = opening + rule;
        for (int index = 0; index < 2; ++index) {
            table += row(" " + std::to_string(2 * index), c.up[2 * index]) + "\n";
            table += row(" " + std::to_string(2 * index + 1), c.up[2 * index + 1]) + rule;
        }
        table += "\n";
        EXPECT_EQ(result.out, "Host Node ID: 0\n" + table);
        const bool all_up = std::find(c.up.begin(), c.up.end(), false) == c.up.end();
        EXPECT_EQ(result.status, all_up ? 0 : 128);

        // Without the table a down link does not change the status.
        EXPECT_EQ(host.run({}).status, 0);
    }
}

TEST(Topology, BoardsFromTheSixthOnShowTheirMinorsUnpadded)
{
    FakeHost host;
    host.add_boards(6);
    const auto result = host.run({"--set-node", "1", "--topo"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find(row(" 9", true) + rule + row("10", true) + "\n" + row("11", true)),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(row(" 0", true)), std::string::npos);
}

} // namespace
