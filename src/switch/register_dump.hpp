#pragma once

#include "pci/board.hpp"

// Prints the eighteen NT registers that the link configuration reads and
// writes. Returns 1 when printed, 0 when the window could not be used.
int check_configuration(const KA720_Board& board);
