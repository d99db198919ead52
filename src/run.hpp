#pragma once

#include "command_line.hpp"
#include "pci/board.hpp"

#include <vector>

// The one-shot run: configures every board and serves the requested reports,
// the ping test, the node id and the topology. Returns main's status: 0, -128
// when the topology showed a down link, -1 for a refusal.
int run_once(std::vector<KA720_Board>& boards, const Options& options, int host_node_id);
