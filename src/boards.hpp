#pragma once

#include "pci/board.hpp"

#include <optional>
#include <vector>

// Cuts the scanned functions into boards of five, in BDF order, and looks up
// each board's region addresses and GPU minors. Nothing, after saying which
// function lacks its 32G region, when a board could not be completed.
std::optional<std::vector<KA720_Board>> assemble_boards();

// Reads each GPU's minor number again (the driver may have been loaded since).
void refresh_gpu_minors(KA720_Board& board);
