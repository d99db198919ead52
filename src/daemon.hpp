#pragma once

#include "pci/board.hpp"

#include <vector>

// True when every board counts as configured (and for no boards).
bool ENV_Configured(const std::vector<KA720_Board>& boards);

// Watches /dev and re-applies the link configuration of every board, then the
// node id, each time the driver creates a device node. Returns only when the
// watch cannot be made (-1) or a read of events fails (0).
int run_daemon(std::vector<KA720_Board>& boards);
