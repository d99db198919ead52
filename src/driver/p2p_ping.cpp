#include "driver/p2p_ping.hpp"

#include "driver/driver_commands.hpp"
#include "pci/resource_file.hpp"
#include "pci/sysfs_paths.hpp"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

namespace {

constexpr PingAction ping_actions[] = {
    {"read-data", false, 0},
    {"reset-data", true, 0},
    {"p2p-read", true, 'r'},
    {"p2p-write", true, 'w'},
};

// The test word lies 1 GiB into the GPU's memory region.
constexpr std::size_t test_word_offset = 0x40000000;
constexpr std::size_t gpu_map_length = 0x40200000;

int ping_gpu(const std::string& gpu_bdf, uint64_t window, const PingAction& action, int host_node_id)
{
    const MappedResource memory = map_resource(pci_devices_directory + gpu_bdf + "/resource0",
                                               gpu_map_length, gpu_map_length,
                                               ResourceAccess::read_write);
    if (memory.status == ResourceStatus::open_failed) {
        std::printf("Error: Failed to open %s\n", gpu_bdf.c_str());
        return 0;
    }
    if (memory.status != ResourceStatus::mapped) {
        std::puts("Map device register failed!");
        return 0;
    }
    if (action.writes_pattern)
        memory.store32(test_word_offset, ping_pattern(host_node_id));
    if (action.direction != 0)
        send_p2p_ping(gpu_bdf, action.direction, window);
    // Read only now: the driver or the peer may have changed the word.
    std::printf("%s read mem 0x40000000: %x\n", gpu_bdf.c_str(), memory.load32(test_word_offset));
    return 1;
}

} // namespace

const PingAction* find_ping_action(std::string_view text)
{
    const auto* found = std::find_if(std::begin(ping_actions), std::end(ping_actions),
                                     [&](const PingAction& action) { return text == action.name; });
    return found == std::end(ping_actions) ? nullptr : found;
}

uint32_t ping_pattern(int host_node_id)
{
    return host_node_id == 0 ? 0x2b7c0000 : 0x2b7c1111;
}

int p2p_ping_test(const KA720_Board& board, const PingAction& action, int host_node_id)
{
    if (ping_gpu(board.gpu0_bdf, board.port0_bar2, action, host_node_id) == 0)
        return 0;
    return ping_gpu(board.gpu1_bdf, board.port1_bar2, action, host_node_id);
}
