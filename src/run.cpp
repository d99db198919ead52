#include "run.hpp"

#include "configure_board.hpp"
#include "driver/driver_commands.hpp"
#include "driver/host_node.hpp"
#include "driver/p2p_ping.hpp"
#include "switch/register_dump.hpp"
#include "switch/topology.hpp"

#include <cinttypes>
#include <cstdio>

namespace {

void print_board_info(const KA720_Board& board)
{
    std::puts("*****************************************************************\n"
              "ka720 device info:");
    std::printf("    switch8725 upstream port bdf: %s\n", board.switch_bdf.c_str());
    std::printf("    gpu0  bdf: %s, bar0: %" PRIx64 ", minor_id: %s\n", board.gpu0_bdf.c_str(),
                board.gpu0_bar0, board.gpu0_minor.c_str());
    std::printf("    gpu1  bdf: %s, bar0: %" PRIx64 ", minor_id: %s\n", board.gpu1_bdf.c_str(),
                board.gpu1_bar0, board.gpu1_minor.c_str());
    std::printf("    port0 bdf: %s, bar2: %" PRIx64 "\n", board.port0_bdf.c_str(), board.port0_bar2);
    std::printf("    port1 bdf: %s, bar2: %" PRIx64 "\n", board.port1_bdf.c_str(), board.port1_bar2);
    std::puts("\n");
}

} // namespace

int run_once(std::vector<KA720_Board>& boards, const Options& options, int host_node_id)
{
    // A bad action is refused before anything is touched, so that no host is
    // left half configured and without its node id.
    const PingAction* ping = nullptr;
    if (!options.p2p_ping.empty()) {
        ping = find_ping_action(options.p2p_ping);
        if (ping == nullptr) {
            std::puts(ping_action_refusal);
            return -1;
        }
    }
    if (!driver_loaded()) {
        std::puts("Please load KA720 driver firstly.");
        return -1;
    }
    for (KA720_Board& board : boards) {
        configure_board(board);
        if (options.info)
            print_board_info(board);
        if (options.print_reg)
            check_configuration(board);
        if (ping != nullptr)
            p2p_ping_test(board, *ping, host_node_id);
    }
    set_host_node_id(host_node_id);
    if (options.topo)
        show_link_status(boards);
    return LINK_STATUS ? 0 : -128;
}
