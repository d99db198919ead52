#pragma once

#include <cstdint>

// The NT registers of the switch, as byte offsets into the register window
// (BAR0 of the switch's upstream port). Each NT port has two 4 KiB blocks:
// the V-side faces this host, the L-side faces the optical link.
namespace nt {

inline constexpr uint32_t port1_vside = 0x3C000;
inline constexpr uint32_t port1_lside = 0x3D000;
inline constexpr uint32_t port0_vside = 0x3E000;
inline constexpr uint32_t port0_lside = 0x3F000;

// Offsets within a block.
inline constexpr uint32_t device_control = 0x070;      // PCIe Device Control / Status
inline constexpr uint32_t link_control_status = 0x078; // PCIe Link Control / Status
inline constexpr uint32_t at_base_low = 0xC3C;         // address translation base
inline constexpr uint32_t at_base_high = 0xC40;
inline constexpr uint32_t vside_lut_entry = 0xD94; // requester-ID look-up table
inline constexpr uint32_t lside_lut_entry = 0xDB4;

// The window must reach past the last block.
inline constexpr uint32_t window_size = 0x40000;

// Device control as the link needs it: error reporting on, relaxed ordering
// and no-snoop on, Max_Payload_Size 256 bytes, Max_Read_Request_Size 128 bytes.
inline constexpr uint32_t device_control_value = 0x837;

// The L-side LUT entry: bus 0, device 0, valid.
inline constexpr uint32_t lside_lut_value = 1;

// Link Control clear and Link Status at 8.0 GT/s, x4 or x8, no other bit set.
inline constexpr uint32_t link_up_x4 = 0x430000;
inline constexpr uint32_t link_up_x8 = 0x830000;

inline bool link_is_up(uint32_t link_word)
{
    return link_word == link_up_x4 || link_word == link_up_x8;
}

} // namespace nt
