#pragma once

#include <CLI/CLI.hpp>

#include <string>

struct Options {
    int host_node_id = -1;
    bool daemon = false;
    bool info = false;
    bool print_reg = false;
    bool topo = false;
    std::string p2p_ping;
};

inline constexpr const char* tool_description = "Norvane Tesselon KA720 Optical Tool.";

// Adds the tool's options to `app`, in the order its help lists them.
void add_options(CLI::App& app, Options& options);
