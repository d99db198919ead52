// The register dump: the eighteen NT registers as configured, each line
// naming the offset it shows.

#include "fake_host.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using bench::FakeHost;

TEST(RegisterDump, ShowsEachRegisterUnderItsHeading)
{
    FakeHost host;
    auto layout = bench::board_spec(0);
    layout.gpu0_bar0 = 0x3800000000;
    layout.gpu1_bar0 = 0xabc00000000;
    layout.port0_link = 0x430000;
    layout.port1_link = 0x1234abcd; // whatever the switch reports is shown as it is
    host.add_board(layout);
    // Words the configuration does not write keep a known pattern.
    {
        std::fstream window(host.device_path(layout.switch_port, "resource0"),
                            std::ios::in | std::ios::out | std::ios::binary);
        for (uint32_t offset = 0x3C000; offset < 0x40000; offset += 4) {
            if (offset == 0x3F078 || offset == 0x3D078)
                continue;
            const uint32_t pattern = 0xa5000000 | offset;
            window.seekp(offset);
            window.write(reinterpret_cast<const char*>(&pattern), 4);
        }
    }
    const auto result = host.run({"--set-node", "0", "--print-reg"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "\nswitch 8725 maxplyload: \n"
                          "read reg 0x3c070: 837\n"
                          "read reg 0x3d070: 837\n"
                          "read reg 0x3e070: 837\n"
                          "read reg 0x3f070: 837\n"
                          "\nswitch 8725 port link status: \n"
                          "read reg 0x3f078: 430000\n"
                          "read reg 0x3d078: 1234abcd\n"
                          "\nswitch port0 V-side AT: \n"
                          "read reg 0x3ec3c: 0\n"
                          "read reg 0x3ec40: 0\n"
                          "\nswitch port0 V-side LUT: \n"
                          "read reg 0x3ed94: 1101\n"
                          "\nswitch port0 L-side AT: \n"
                          "read reg 0x3fc3c: 0\n"
                          "read reg 0x3fc40: 38\n"
                          "\nswitch port0 L-side LUT: \n"
                          "read reg 0x3fdb4: 1\n"
                          "\nswitch port1 V-side AT: \n"
                          "read reg 0x3cc3c: 0\n"
                          "read reg 0x3cc40: 0\n"
                          "\nswitch port1 V-side LUT: \n"
                          "read reg 0x3cd94: 1201\n"
                          "\nswitch port1 L-side AT: \n"
                          "read reg 0x3dc3c: 0\n"
                          "read reg 0x3dc40: abc\n"
                          "\nswitch port1 L-side LUT: \n"
                          "read reg 0x3ddb4: 1\n"
                          "Host Node ID: 0\n");
    // The dump only reads: the pattern around the registers is intact.
    EXPECT_EQ(host.switch_word(layout.switch_port, 0x3F074), 0xa503F074u);
    EXPECT_EQ(host.switch_word(layout.switch_port, 0x3DDB8), 0xa503DDB8u);
}

TEST(RegisterDump, EachBoardAfterItsInfoBlock)
{
    FakeHost host;
    host.add_boards(2);
    const auto result = host.run({"--set-node", "0", "--info", "--print-reg"});
    const std::size_t first_dump = result.out.find("switch 8725 maxplyload");
    const std::size_t second_info = result.out.find("ka720 device info:", first_dump);
    const std::size_t second_dump = result.out.find("switch 8725 maxplyload", first_dump + 1);
    EXPECT_LT(result.out.find("ka720 device info:"), first_dump);
    EXPECT_LT(first_dump, second_info);
    EXPECT_LT(second_info, second_dump);
    EXPECT_NE(result.out.find("read reg 0x3ed94: 2101\n", second_dump), std::string::npos);
}

} // namespace
