#include "optical_link.hpp"

namespace bench {

namespace {

// Register offsets of port n's L-side block: its link word and the address
// translation that requests from the link go through. Written out here rather
// than taken from the tool's register table, so that a wrong offset there
// cannot be matched by the simulator.
uint32_t lside_block(int port)
{
    return port == 0 ? 0x3F000 : 0x3D000;
}

const std::string& gpu_bdf(const BoardSpec& board, int index)
{
    return index == 0 ? board.gpu0 : board.gpu1;
}

} // namespace

OpticalLink::OpticalLink(FakeHost& first, FakeHost& second) : first_(first), second_(second)
{
    first_.driver().set_ping_handler([this](const std::string& gpu, char direction, uint64_t window) {
        ping(first_, second_, gpu, direction, window);
    });
    second_.driver().set_ping_handler([this](const std::string& gpu, char direction, uint64_t window) {
        ping(second_, first_, gpu, direction, window);
    });
}

OpticalLink::~OpticalLink()
{
    first_.driver().set_ping_handler(nullptr);
    second_.driver().set_ping_handler(nullptr);
}

std::optional<OpticalLink::Gpu> OpticalLink::find_gpu(const FakeHost& host, const std::string& bdf)
{
    for (std::size_t board = 0; board < host.boards().size(); ++board) {
        for (int index = 0; index < 2; ++index) {
            if (gpu_bdf(host.boards()[board], index) == bdf)
                return Gpu{board, index};
        }
    }
    return std::nullopt;
}

bool OpticalLink::translates_to_gpu(const FakeHost& host, const Gpu& gpu)
{
    const BoardSpec& board = host.boards()[gpu.board];
    const uint32_t block = lside_block(gpu.index);
    const uint64_t translation = host.switch_word(board.switch_port, block + 0xC3C)
                                 | uint64_t{host.switch_word(board.switch_port, block + 0xC40)} << 32;
    return translation == (gpu.index == 0 ? board.gpu0_bar0 : board.gpu1_bar0);
}

bool OpticalLink::link_up(const FakeHost& host, const Gpu& gpu)
{
    const uint32_t word = host.switch_word(host.boards()[gpu.board].switch_port,
                                           lside_block(gpu.index) + 0x078);
    return word == link_up_x4 || word == link_up_x8;
}

void OpticalLink::ping(FakeHost& local, FakeHost& peer, const std::string& gpu, char direction,
                       uint64_t window) const
{
    const std::optional<Gpu> here = find_gpu(local, gpu);
    if (!here || here->board >= peer.boards().size())
        return;
    const std::optional<int> local_node = local.driver().node();
    const std::optional<int> peer_node = peer.driver().node();
    const bool crosses = local.driver().window(gpu) == window && translates_to_gpu(peer, *here)
                         && link_up(local, *here) && link_up(peer, *here) && local_node && peer_node
                         && *local_node != *peer_node;
    if (!crosses)
        return;
    const std::string& there = gpu_bdf(peer.boards()[here->board], here->index);
    if (direction == 'w')
        peer.driver().set_test_word(there, local.driver().test_word(gpu));
    else if (direction == 'r')
        local.driver().set_test_word(gpu, peer.driver().test_word(there));
}

} // namespace bench
