#include "driver/kmd_address_table.hpp"

#include "driver/driver_commands.hpp"

#include <cstdio>

namespace {

void send_window(const std::string& gpu_bdf, const std::string& minor, uint64_t window)
{
    // Without its minor number the driver cannot tell which GPU is meant.
    if (minor.empty()) {
        std::printf("Error: GPU %s has no minor number from the driver; "
                    "its peer window is not sent.\n",
                    gpu_bdf.c_str());
        return;
    }
    send_pt_p2p_cfg(gpu_bdf, minor, window);
}

} // namespace

void cfg_kmd_address_table(const KA720_Board& board)
{
    send_window(board.gpu0_bdf, board.gpu0_minor, board.port0_bar2);
    send_window(board.gpu1_bdf, board.gpu1_minor, board.port1_bar2);
}
