#pragma once

#include "pci/board.hpp"

// Tells the driver, for each GPU of the board, the bus address of the NT
// port window through which that GPU reaches the peer.
void cfg_kmd_address_table(const KA720_Board& board);
