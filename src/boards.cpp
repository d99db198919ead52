#include "boards.hpp"

#include "pci/lookups.hpp"
#include "pci/scan.hpp"

#include <cstdio>

namespace {

bool look_up_region(const std::string& bdf, uint64_t& address)
{
    const std::optional<uint64_t> found = get_bdf_base_address(bdf);
    if (!found) {
        std::printf("Error: no 32G memory region found for %s "
                    "(unassigned, or lspci cannot read it); nothing configured.\n",
                    bdf.c_str());
        return false;
    }
    address = *found;
    return true;
}

} // namespace

std::optional<std::vector<KA720_Board>> assemble_boards()
{
    ka720_device_bdf_vector.assign(ka720_device_bdf_set.begin(), ka720_device_bdf_set.end());
    std::vector<KA720_Board> boards;
    const auto& bdfs = ka720_device_bdf_vector;
    for (std::size_t first = 0; first + functions_per_board <= bdfs.size();
         first += functions_per_board) {
        KA720_Board board;
        board.gpu0_bdf = bdfs[first];
        if (!look_up_region(board.gpu0_bdf, board.gpu0_bar0))
            return std::nullopt;
        board.gpu0_minor = get_gpu_minor_id(board.gpu0_bdf);
        board.gpu1_bdf = bdfs[first + 1];
        if (!look_up_region(board.gpu1_bdf, board.gpu1_bar0))
            return std::nullopt;
        board.gpu1_minor = get_gpu_minor_id(board.gpu1_bdf);
        board.switch_bdf = bdfs[first + 2];
        board.port0_bdf = bdfs[first + 3];
        if (!look_up_region(board.port0_bdf, board.port0_bar2))
            return std::nullopt;
        board.port1_bdf = bdfs[first + 4];
        if (!look_up_region(board.port1_bdf, board.port1_bar2))
            return std::nullopt;
        boards.push_back(board);
    }
    return boards;
}

void refresh_gpu_minors(KA720_Board& board)
{
    board.gpu0_minor = get_gpu_minor_id(board.gpu0_bdf);
    board.gpu1_minor = get_gpu_minor_id(board.gpu1_bdf);
}
