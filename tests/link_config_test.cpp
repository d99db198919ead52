// Link configuration: the register program, what lands in the switch's
// register window, the NT ports' COMMAND register and the peer windows sent to
// the driver.

#include "fake_host.hpp"
#include "switch/register_program.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

using bench::FakeHost;

KA720_Board known_board()
{
    KA720_Board board;
    board.gpu0_bdf = "0000:03:00.0";
    board.gpu0_bar0 = 0x3800000000;
    board.gpu1_bdf = "0001:3b:02.1";
    board.gpu1_bar0 = 0x12345678;
    board.switch_bdf = "0000:05:00.0";
    board.port0_bdf = "0000:06:00.0";
    board.port1_bdf = "0000:06:00.1";
    return board;
}

TEST(RegisterProgram, ReadsBothLinkWordsThenStoresInOrder)
{
    const RegisterProgram program = register_program(known_board());
    EXPECT_EQ(program.port0_link_word, 0x3F078u);
    EXPECT_EQ(program.port1_link_word, 0x3D078u);
    const std::vector<RegisterStore> expected = {
        {0x3C070, 0x837},      {0x3D070, 0x837},      {0x3E070, 0x837}, {0x3F070, 0x837},
        {0x3EC3C, 0},          {0x3EC40, 0},          {0x3ED94, 0x301}, // GPU 0 requester ID
        {0x3FC3C, 0},          {0x3FC40, 0x38},       {0x3FDB4, 1},
        {0x3CC3C, 0},          {0x3CC40, 0},          {0x3CD94, 0x3b41},
        {0x3DC3C, 0x12345678}, {0x3DC40, 0},          {0x3DDB4, 1},
    };
    EXPECT_EQ(program.stores, expected);
}

// The switch window as it must look after a configuration: the link words the
// switch reported, the program's stores, and zero everywhere else.
std::vector<uint8_t> expected_window(const bench::BoardSpec& layout, const KA720_Board& board)
{
    std::vector<uint8_t> bytes(bench::switch_window_bytes, 0);
    auto put = [&](uint32_t offset, uint32_t value) { std::memcpy(&bytes[offset], &value, 4); };
    put(0x3F078, layout.port0_link);
    put(0x3D078, layout.port1_link);
    for (const RegisterStore& store : register_program(board).stores)
        put(store.offset, store.value);
    return bytes;
}

// The nonzero words of a window, by offset, so that a difference reads well.
std::map<uint32_t, uint32_t> words_of(const std::vector<uint8_t>& bytes)
{
    std::map<uint32_t, uint32_t> words;
    for (uint32_t offset = 0; offset + 4 <= bytes.size(); offset += 4) {
        uint32_t word = 0;
        std::memcpy(&word, &bytes[offset], 4);
        if (word != 0)
            words[offset] = word;
    }
    return words;
}

TEST(LinkConfiguration, SwitchWindowHoldsExactlyTheProgramForEitherNode)
{
    for (const char* node : {"0", "1"}) {
        FakeHost host;
        bench::BoardSpec layout = bench::board_spec(0);
        layout.gpu1_bar0 = 0xc0000000; // below 4 GiB: the high half is 0
        host.add_board(layout);
        const auto result = host.run({"--set-node", node});
        EXPECT_EQ(result.status, 0);

        KA720_Board board;
        board.gpu0_bdf = layout.gpu0;
        board.gpu0_bar0 = layout.gpu0_bar0;
        board.gpu1_bdf = layout.gpu1;
        board.gpu1_bar0 = layout.gpu1_bar0;
        EXPECT_EQ(words_of(host.read_bytes(host.device_path(layout.switch_port, "resource0"))),
                  words_of(expected_window(layout, board)))
            << "node " << node;
    }
}

TEST(LinkConfiguration, EnablesBothNtPortsAndTellsTheDriverTheirWindows)
{
    FakeHost host;
    host.add_boards(2);
    EXPECT_EQ(host.run({"--set-node", "1"}).status, 0);
    std::vector<bench::DriverCommand> expected;
    for (int index = 0; index < 2; ++index) {
        const auto layout = bench::board_spec(index);
        // Memory Space and Bus Master set, INTx Disable kept.
        EXPECT_EQ(host.command_register(layout.port0), 0x0406);
        EXPECT_EQ(host.command_register(layout.port1), 0x0406);
        EXPECT_EQ(host.command_register(layout.switch_port), 0x0406);
        expected.push_back({layout.gpu0, "pt_p2p_cfg " + std::to_string(2 * index) + " "
                                           + (index == 0 ? "21000000000" : "23000000000"), 0});
        expected.push_back({layout.gpu1, "pt_p2p_cfg " + std::to_string(2 * index + 1) + " "
                                           + (index == 0 ? "21800000000" : "23800000000"), 0});
    }
    expected.push_back({bench::board_spec(0).gpu0, "node 1", 0});
    EXPECT_EQ(host.driver_commands(), expected);
}

TEST(LinkConfiguration, UnusableSwitchWindowIsLeftAloneAndTheOtherBoardGoesOn)
{
    struct Case {
        const char* name;
        uint64_t window_size; // 0: no resource0 file
        std::string message;
    };
    const auto broken = bench::board_spec(0);
    const Case cases[] = {
        {"4 KiB window", 4096,
         "Error: register window of switch " + broken.switch_port
             + " is 4096 bytes, smaller than 0x40000; the switch is not touched.\n"},
        {"one byte short", 0x3ffff,
         "Error: register window of switch " + broken.switch_port
             + " is 262143 bytes, smaller than 0x40000; the switch is not touched.\n"},
        {"no resource0", 0,
         "Error: Failed to open /sys/bus/pci/devices/" + broken.switch_port + "/resource0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        auto layout = broken;
        layout.switch_window_size = c.window_size == 0 ? 4096 : c.window_size;
        host.add_board(layout);
        host.add_board(bench::board_spec(1));
        const std::string window = host.device_path(layout.switch_port, "resource0");
        if (c.window_size == 0)
            std::remove(window.c_str());
        const auto before = c.window_size == 0 ? std::vector<uint8_t>{} : host.read_bytes(window);

        const auto result = host.run({"--set-node", "0", "--print-reg", "--topo"});
        EXPECT_EQ(result.status, 128); // the broken board's links count as down
        EXPECT_EQ(result.out.rfind(c.message + c.message + "\nswitch 8725 maxplyload: \n", 0), 0u)
            << result.out;
        if (c.window_size != 0) {
            EXPECT_EQ(host.read_bytes(window), before);
        }
        EXPECT_EQ(host.switch_word(bench::board_spec(1).switch_port, 0x3F070), 0x837u);
        EXPECT_EQ(host.driver_commands().size(), 5u); // both boards' windows, then the node
    }
}

} // namespace
