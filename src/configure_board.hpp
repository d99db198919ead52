#pragma once

#include "pci/board.hpp"

// Programs one board's link and tells the driver its peer windows. A failed
// step never stops the ones after it.
void configure_board(KA720_Board& board);
