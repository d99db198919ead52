#pragma once

#include "pci/board.hpp"

#include <cstdint>
#include <string_view>

struct PingAction {
    const char* name;
    bool writes_pattern; // the host's pattern goes into the test word first
    char direction;      // 'r' or 'w' for a peer read or write, 0 for none
};

// One of "read-data", "reset-data", "p2p-read", "p2p-write" (whole text,
// case-sensitive), or null.
const PingAction* find_ping_action(std::string_view text);

inline constexpr const char* ping_action_refusal
    = "--ping-p2p: required Text(eg：p2p-read or p2p-write or reset-data or read-data)";

// The word a host writes tells which host wrote it.
uint32_t ping_pattern(int host_node_id);

// Serves the action on both GPUs of the board, GPU 0 first, printing each
// GPU's test word. Returns 1 when both were served, 0 when one could not be
// mapped (GPU 1 is not tried after GPU 0 failed).
int p2p_ping_test(const KA720_Board& board, const PingAction& action, int host_node_id);
