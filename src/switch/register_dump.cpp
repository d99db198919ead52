#include "switch/register_dump.hpp"

#include "switch/registers.hpp"
#include "switch/switch_window.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace nt;

namespace {

struct DumpLine {
    // cppcheck-suppress unusedStructMember
    const char* heading; // printed before the line, or null
    uint32_t offset;
};

// The registers of a group are read together, before its first heading.
using DumpGroup = std::vector<DumpLine>;

const std::vector<DumpGroup> dump_groups = {
    {
        {"\nswitch 8725 maxplyload: ", port1_vside + device_control},
        {nullptr, port1_lside + device_control},
        {nullptr, port0_vside + device_control},
        {nullptr, port0_lside + device_control},
    },
    {
        {"\nswitch 8725 port link status: ", port0_lside + link_control_status},
        {nullptr, port1_lside + link_control_status},
    },
    {
        {"\nswitch port0 V-side AT: ", port0_vside + at_base_low},
        {nullptr, port0_vside + at_base_high},
        {"\nswitch port0 V-side LUT: ", port0_vside + vside_lut_entry},
    },
    {
        {"\nswitch port0 L-side AT: ", port0_lside + at_base_low},
        {nullptr, port0_lside + at_base_high},
        {"\nswitch port0 L-side LUT: ", port0_lside + lside_lut_entry},
    },
    {
        {"\nswitch port1 V-side AT: ", port1_vside + at_base_low},
        {nullptr, port1_vside + at_base_high},
        {"\nswitch port1 V-side LUT: ", port1_vside + vside_lut_entry},
    },
    {
        {"\nswitch port1 L-side AT: ", port1_lside + at_base_low},
        {nullptr, port1_lside + at_base_high},
        {"\nswitch port1 L-side LUT: ", port1_lside + lside_lut_entry},
    },
};

} // namespace

int check_configuration(const KA720_Board& board)
{
    const MappedResource window = open_switch_window(board.switch_bdf);
    if (window.status != ResourceStatus::mapped)
        return 0;
    for (const DumpGroup& group : dump_groups) {
        std::vector<uint32_t> values(group.size());
        std::transform(group.begin(), group.end(), values.begin(),
                       [&](const DumpLine& line) { return window.load32(line.offset); });
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (group[i].heading != nullptr)
                std::puts(group[i].heading);
            std::printf("read reg 0x%x: %x\n", group[i].offset, values[i]);
        }
    }
    return 1;
}
