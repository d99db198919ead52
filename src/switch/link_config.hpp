#pragma once

#include "pci/board.hpp"

// Makes sure both NT port functions decode memory and forward requests: their
// BAR2 windows carry the GPUs' peer traffic. Always returns 1.
int enable_swtich8725_port(const KA720_Board& board);

// Records both link states and programs the switch's NT registers so that each
// GPU's memory is reachable from the peer. Returns 1 when the window was
// programmed, 0 when it could not be used (nothing touched then, and the link
// flags keep their values).
int routing_configuration(KA720_Board& board);
