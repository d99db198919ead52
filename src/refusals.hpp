#pragma once

#include "pci/board.hpp"

#include <cstddef>

// Refusals that both programs make before they look at any board.
inline constexpr const char* not_root_refusal = "Requires root privileges.";

// What is wrong with finding `functions` accelerator functions, or null when
// they make whole boards.
inline const char* board_count_refusal(std::size_t functions)
{
    if (functions == 0)
        return "No KA72 GPU found.";
    if (functions % functions_per_board != 0)
        return "Wrong topo, Please check your env!";
    return nullptr;
}
