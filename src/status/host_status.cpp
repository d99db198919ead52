#include "status/host_status.hpp"

#include "driver/host_node_file.hpp"
#include "pci/board.hpp"
#include "pci/lookups.hpp"
#include "pci/resource_file.hpp"
#include "pci/resource_table.hpp"
#include "pci/scan.hpp"
#include "switch/registers.hpp"
#include "switch/switch_window.hpp"

#include <algorithm>

namespace {

void read_links(BoardStatus& board)
{
    // Read-only, and only the two link words: monitoring never disturbs the link.
    const MappedResource window = map_resource(switch_window_path(board.switch_bdf),
                                               nt::window_size, 0, ResourceAccess::read_only);
    switch (window.status) {
    case ResourceStatus::mapped:
        board.ports[0].link_word = window.load32(nt::port0_lside + nt::link_control_status);
        board.ports[1].link_word = window.load32(nt::port1_lside + nt::link_control_status);
        return;
    case ResourceStatus::open_failed:
        board.switch_error = "cannot open " + switch_window_path(board.switch_bdf);
        return;
    case ResourceStatus::too_small:
        board.switch_error = "register window smaller than 0x40000 bytes";
        return;
    case ResourceStatus::map_failed:
        board.switch_error = "cannot map the register window";
        return;
    }
}

} // namespace

HostStatus read_host_status()
{
    HostStatus status;
    const NodeFileReading node_file = read_host_node_file();
    if (node_file.state == NodeFileState::valid)
        status.host_node_id = node_file.id;
    else
        status.host_node_reason = node_file.state == NodeFileState::missing
                                      ? std::string("no host node file ") + host_node_path
                                      : std::string(host_node_path) + " does not hold 0 or 1";

    const std::vector<std::string> bdfs(ka720_device_bdf_set.begin(), ka720_device_bdf_set.end());
    for (std::size_t first = 0; first + functions_per_board <= bdfs.size();
         first += functions_per_board) {
        BoardStatus board;
        for (int gpu = 0; gpu < 2; ++gpu) {
            const std::string& bdf = bdfs[first + static_cast<std::size_t>(gpu)];
            board.gpus[gpu] = {bdf, read_32g_region(bdf), read_gpu_minor(bdf)};
        }
        board.switch_bdf = bdfs[first + 2];
        for (int port = 0; port < 2; ++port) {
            const std::string& bdf = bdfs[first + 3 + static_cast<std::size_t>(port)];
            board.ports[port] = {bdf, read_32g_region(bdf), std::nullopt};
        }
        read_links(board);
        status.boards.push_back(board);
    }
    return status;
}

bool link_is_up(const PortStatus& port)
{
    return port.link_word && nt::link_is_up(*port.link_word);
}

bool all_links_up(const HostStatus& status)
{
    return std::all_of(status.boards.begin(), status.boards.end(), [](const BoardStatus& board) {
        return link_is_up(board.ports[0]) && link_is_up(board.ports[1]);
    });
}

std::optional<std::string> link_speed(uint32_t link_word)
{
    static const char* const speeds[] = {"2.5", "5.0", "8.0", "16.0", "32.0", "64.0"};
    const unsigned code = (link_word >> 16) & 0xF;
    if (code == 0 || code > std::size(speeds))
        return std::nullopt;
    return speeds[code - 1];
}

unsigned link_width(uint32_t link_word)
{
    return (link_word >> 20) & 0x3F;
}
