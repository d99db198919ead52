#include "configure_board.hpp"

#include "driver/kmd_address_table.hpp"
#include "switch/link_config.hpp"

void configure_board(KA720_Board& board)
{
    enable_swtich8725_port(board);
    routing_configuration(board);
    cfg_kmd_address_table(board);
}
