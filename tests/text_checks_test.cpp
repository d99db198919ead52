// Pure checks of the texts the tool reads from outside: BDF names, lspci's
// region addresses, minor numbers and the host node file.

#include "driver/host_node_file.hpp"
#include "pci/bdf.hpp"
#include "pci/lookups.hpp"
#include "pci/resource_table.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(Bdf, PackingAndTranslationValues)
{
    struct Case {
        const char* bdf;
        uint32_t packed;
        uint32_t translation;
    };
    const Case cases[] = {
        {"0000:3b:00.1", 0x3b01, 0x3b01},
        {"0000:05:00.0", 0x500, 0x501},
        {"0001:3b:02.1", 0x13b41, 0x3b41}, // device 2 adds 0x40; the domain is dropped
        {"0000:00:1f.7", 0x3e7, 0x3e1},    // function 7 becomes the valid bit
        {"00ff:ff:1f.7", 0xff0000 | 0xff00 | 0x1f << 5 | 7, 0xffe1},
        {"0000:3a:08.0", 0x3b00, 0x3b01}, // device 8 overlaps the bus bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bdf_string_to_uint32_t(c.bdf), c.packed) << c.bdf;
        EXPECT_EQ(get_bdf_tranlation(c.bdf), c.translation) << c.bdf;
    }
}

TEST(Bdf, PieceWithoutHexDigitRaisesInvalidArgument)
{
    try {
        bdf_string_to_uint32_t("0000:zz:00.0");
        FAIL() << "no error raised";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Invalid hexadecimal string");
    }
}

TEST(Bdf, OnlyTheKernelsOwnNamesAreBdfTexts)
{
    for (const char* name : {"0000:3b:00.1", "ffff:ff:1f.7", "0001:00:00.0"})
        EXPECT_TRUE(is_bdf_text(name)) << name;
    for (const char* name : {"", "0000:3B:00.1", "0000:3b:00.8", "0000:3b:20.0", "0000:3b:00",
                             "10000:3b:00.1", "0000-3b:00.1", "0000:3b:00.1;", "0000:3b:0g.1",
                             "pci0000:00", "0000:3b:00.1\n", "0000:3b.00:1"})
        EXPECT_FALSE(is_bdf_text(name)) << name;
}

TEST(Bdf, SplitsAddressesIntoRegisterHalves)
{
    EXPECT_EQ(get_low_32bits(0x3800000000), 0u);
    EXPECT_EQ(get_high_32bits(0x3800000000), 0x38u);
    EXPECT_EQ(get_low_32bits(0x12345678), 0x12345678u);
    EXPECT_EQ(get_high_32bits(0x12345678), 0u);
}

TEST(RegionAddress, ReadsLspciAddressField)
{
    struct Case {
        const char* text;
        std::optional<uint64_t> address;
    };
    const Case cases[] = {
        {"3a000000000\n", 0x3a000000000},
        {"  3a000000000\n3b000000000\n", 0x3a000000000}, // only the first region counts
        {"0x2000000000", 0x2000000000},
        {"+38", 0x38},
        {"7fffffffffffffff", 0x7fffffffffffffff},
        {"8000000000000000", std::nullopt}, // beyond a signed 64-bit address
        {"<unassigned>\n", std::nullopt},
        {"<ignored>", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_region_address(c.text), c.address) << '"' << c.text << '"';
}

TEST(ResourceTable, FindsTheFirst32GRegion)
{
    const std::string empty = "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
    const std::string small = "0x00000000fb000000 0x00000000fb0fffff 0x0000000000040200\n";
    const std::string big = "0x0000021000000000 0x00000217ffffffff 0x000000000014220c\n";
    const std::string bigger = "0x0000030000000000 0x00000307ffffffff 0x000000000014220c\n";
    EXPECT_EQ(region_32g_in_resource_table(empty + empty + big), 0x21000000000u);
    EXPECT_EQ(region_32g_in_resource_table(small + bigger + big), 0x30000000000u);
    EXPECT_EQ(region_32g_in_resource_table(small + empty), std::nullopt);
    EXPECT_EQ(region_32g_in_resource_table("garbage\n0x10 0x1\n"), std::nullopt);
}

TEST(MinorText, KeepsOnlyABareNumber)
{
    struct Case {
        const char* text;
        const char* minor;
    };
    const Case cases[] = {
        {"0\n", "0"},    {"12", "12"},         {"3 \t\n", "3"},        {"", ""},
        {"\n", ""},      {"-1\n", ""},         {"3; touch /tmp/x\n", ""}, {"3\n4\n", ""},
        {" 3\n", ""},    {"0x3\n", ""},        {"$(reboot)", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checked_minor_text(c.text), c.minor) << '"' << c.text << '"';
}

TEST(HostNodeText, FirstLineMustBeZeroOrOne)
{
    struct Case {
        const char* text;
        std::optional<int> id;
    };
    const Case cases[] = {
        {"0\n", 0},     {"1\n", 1},          {"1", 1},           {" 1 \n", 1},
        {"1\nx\n", 1},  {"", std::nullopt},  {"\n", std::nullopt}, {"7\n", std::nullopt},
        {"a\n", std::nullopt}, {"10\n", std::nullopt}, {"01\n", std::nullopt},
        {"\n1\n", std::nullopt}, {"1 0\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_host_node_text(c.text), c.id) << '"' << c.text << '"';
}

} // namespace
