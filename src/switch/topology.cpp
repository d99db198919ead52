#include "switch/topology.hpp"

#include <cstdio>
#include <string>

bool LINK_STATUS = true;

namespace {

const char* const header = "\x1b[33m     Host0           Link Status           Host1\x1b[33m";
const char* const rule = "\x1b[37m----------------------------------------------------\x1b[37m";
const char* const up_row
    = "\x1b[37m    [GPU %s]         \x1b[32m<--------->\x1b[32m         \x1b[37m[GPU %s]    \x1b[37m\n";
const char* const down_row
    = "\x1b[37m    [GPU %s]         \x1b[31m-----X-----\x1b[31m         \x1b[37m[GPU %s]    \x1b[37m\n";

// The first five boards pad their minors by one blank.
constexpr std::size_t padded_boards = 5;

void draw_row(const std::string& label, bool link_up)
{
    std::printf(link_up ? up_row : down_row, label.c_str(), label.c_str());
    if (!link_up)
        LINK_STATUS = false;
}

} // namespace

bool show_link_status(const std::vector<KA720_Board>& boards)
{
    std::puts("\n");
    std::puts(header);
    std::puts(rule);
    for (std::size_t position = 0; position < boards.size(); ++position) {
        const KA720_Board& board = boards[position];
        const std::string pad = position < padded_boards ? " " : "";
        draw_row(pad + board.gpu0_minor, board.port0_link_up);
        std::putchar('\n');
        draw_row(pad + board.gpu1_minor, board.port1_link_up);
        std::puts(rule);
    }
    std::putchar('\n');
    return LINK_STATUS;
}
