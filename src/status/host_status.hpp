#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the status program reports, gathered without writing anything.

struct GpuStatus {
    std::string bdf;
    std::optional<uint64_t> bar0; // start of the 32G region, from sysfs
    std::string minor;            // empty: the driver gives none
};

struct PortStatus {
    std::string bdf;
    std::optional<uint64_t> bar2;
    std::optional<uint32_t> link_word; // none: the switch window could not be read
};

struct BoardStatus {
    std::string switch_bdf;
    GpuStatus gpus[2];
    PortStatus ports[2]; // port n carries GPU n's peer traffic
    std::string switch_error;
};

struct HostStatus {
    std::optional<int> host_node_id;
    std::string host_node_reason; // why there is no id
    std::vector<BoardStatus> boards;
};

// Reads every board of ka720_device_bdf_set (already scanned and counted).
HostStatus read_host_status();

bool link_is_up(const PortStatus& port);
bool all_links_up(const HostStatus& status);

// Link Status fields of a link word: speed in GT/s ("8.0"), lanes.
std::optional<std::string> link_speed(uint32_t link_word);
unsigned link_width(uint32_t link_word);
