#include "driver/host_node.hpp"

#include "driver/driver_commands.hpp"
#include "driver/host_node_file.hpp"
#include "pci/scan.hpp"

#include <cstdio>

namespace {

// The id is sent once per host, to the first GPU in BDF order.
const std::string& node_command_target()
{
    return ka720_device_bdf_vector.front();
}

} // namespace

void set_host_node_id(int id)
{
    send_node(node_command_target(), id);
    std::printf("Host Node ID: %d\n", id);
}

void set_host_node_id()
{
    const NodeFileReading node_file = read_host_node_file();
    if (node_file.state == NodeFileState::invalid) {
        std::fprintf(stderr, "Error: %s does not hold 0 or 1; node id not sent to the driver.\n",
                     host_node_path);
        std::fflush(stderr);
        return;
    }
    if (!driver_loaded())
        return;
    send_node(node_command_target(), node_file.state == NodeFileState::valid ? node_file.id : 0);
}
