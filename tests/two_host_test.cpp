// Two hosts joined by the simulated optical link: each host's pattern
// reaches the other only through a link that both have configured.

#include "optical_link.hpp"

#include <gtest/gtest.h>

namespace {

using bench::FakeHost;

constexpr uint32_t node0_pattern = 0x2b7c0000;
constexpr uint32_t node1_pattern = 0x2b7c1111;

class TwoHosts : public testing::Test {
protected:
    void SetUp() override
    {
        for (FakeHost* host : {&a, &b})
            host->add_boards(2);
    }

    // The test word of every GPU of a host, in board order.
    static std::vector<uint32_t> words(FakeHost& host)
    {
        std::vector<uint32_t> all;
        for (const auto& board : host.boards()) {
            all.push_back(host.driver().test_word(board.gpu0));
            all.push_back(host.driver().test_word(board.gpu1));
        }
        return all;
    }

    static std::vector<uint32_t> four(uint32_t word) { return {word, word, word, word}; }

    FakeHost a;
    FakeHost b;
    bench::OpticalLink link{a, b};
};

TEST_F(TwoHosts, PatternsCrossBothWays)
{
    ASSERT_EQ(a.run({"--set-node", "0"}).status, 0);
    ASSERT_EQ(b.run({"--set-node", "1"}).status, 0);

    EXPECT_EQ(a.run({"--p2p-ping", "p2p-write"}).status, 0);
    EXPECT_EQ(words(b), four(node0_pattern)); // A's pattern arrived at B

    const auto read = b.run({"--p2p-ping", "p2p-read"});
    // B wrote its own pattern first, then read A's word over the link.
    EXPECT_EQ(words(b), four(node0_pattern));
    EXPECT_NE(read.out.find(b.boards()[0].gpu0 + " read mem 0x40000000: 2b7c0000\n"), std::string::npos)
        << read.out;

    EXPECT_EQ(b.run({"--p2p-ping", "p2p-write"}).status, 0);
    EXPECT_EQ(words(a), four(node1_pattern));
    const auto shown = a.run({"--p2p-ping", "read-data"});
    EXPECT_NE(shown.out.find(a.boards()[1].gpu1 + " read mem 0x40000000: 2b7c1111\n"), std::string::npos)
        << shown.out;
}

TEST_F(TwoHosts, UnconfiguredPeerStopsThePing)
{
    ASSERT_EQ(a.run({"--set-node", "0"}).status, 0);
    b.set_node_file("1\n"); // B has its id but never ran: its switch translates nothing
    EXPECT_EQ(a.run({"--p2p-ping", "p2p-write"}).status, 0);
    EXPECT_EQ(words(b), four(0));
    EXPECT_EQ(a.run({"--p2p-ping", "p2p-read"}).status, 0);
    EXPECT_EQ(words(a), four(node0_pattern)); // the word stays
}

TEST_F(TwoHosts, SameNodeIdOnBothSidesStopsThePing)
{
    ASSERT_EQ(a.run({"--set-node", "0"}).status, 0);
    ASSERT_EQ(b.run({"--set-node", "0"}).status, 0);
    EXPECT_EQ(a.run({"--p2p-ping", "p2p-write"}).status, 0);
    EXPECT_EQ(words(b), four(0));

    ASSERT_EQ(b.run({"--set-node", "1"}).status, 0); // mended: now it crosses
    EXPECT_EQ(a.run({"--p2p-ping", "p2p-write"}).status, 0);
    EXPECT_EQ(words(b), four(node0_pattern));
}

} // namespace
