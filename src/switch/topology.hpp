#pragma once

#include "pci/board.hpp"

#include <vector>

// True until the topology table has shown a link that is down.
extern bool LINK_STATUS;

// Draws one row per NT port of every board, green when its link is up and red
// when it is down (clearing LINK_STATUS). Returns LINK_STATUS.
bool show_link_status(const std::vector<KA720_Board>& boards);
