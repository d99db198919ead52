#pragma once

#include <cstdint>
#include <string>

// The driver directory exists while the accelerator's driver is loaded.
bool driver_loaded();

// Each command is one line that the shell's echo writes into a GPU's
// itr_debug attribute; the driver has carried it out when the shell has ended.

// "pt_p2p_cfg <minor> <window>": the window through which the GPU reaches the peer.
void send_pt_p2p_cfg(const std::string& gpu_bdf, const std::string& minor, uint64_t window);

// "node <id>": this host's side of the link, sent to the lowest BDF's GPU.
void send_node(const std::string& gpu_bdf, int id);

// "p2p_ping r|w <window>": a peer read or write, through the device's path.
void send_p2p_ping(const std::string& gpu_bdf, char direction, uint64_t window);
