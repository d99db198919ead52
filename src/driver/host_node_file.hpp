#pragma once

#include <optional>
#include <string_view>

// This host's node id on the optical link (0 or 1), kept across runs.
inline constexpr const char* host_node_directory = "/usr/local/kz/etc";
inline constexpr const char* host_node_path = "/usr/local/kz/etc/kz_node";

// The id a node file's text holds: its first line, without the line end and
// surrounding blanks, must be exactly "0" or "1".
std::optional<int> parse_host_node_text(std::string_view text);

enum class NodeFileState { missing, invalid, valid };

struct NodeFileReading {
    NodeFileState state;
    int id; // meaningful when valid
};

NodeFileReading read_host_node_file();

// Writes the id and a line end, creating the directory chain when needed.
void save_host_node_id(int id);
