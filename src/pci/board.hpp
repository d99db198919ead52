#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One accelerator board: two GPU functions, the upstream port of the board's
// PCIe switch and the switch's two non-transparent (NT) port functions.
// GPU n is reached from the peer host through NT port n.
struct KA720_Board {
    std::string gpu0_bdf;
    uint64_t gpu0_bar0 = 0;
    std::string gpu0_minor;
    std::string gpu1_bdf;
    uint64_t gpu1_bar0 = 0;
    std::string gpu1_minor;
    std::string switch_bdf;
    bool configured = false;
    std::string port0_bdf;
    uint64_t port0_bar2 = 0;
    bool port0_link_up = false;
    std::string port1_bdf;
    uint64_t port1_bar2 = 0;
    bool port1_link_up = false;
};

// Each board shows up as five functions in the PCI tree.
inline constexpr std::size_t functions_per_board = 5;
