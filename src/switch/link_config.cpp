#include "switch/link_config.hpp"

#include "pci/shell.hpp"
#include "switch/register_program.hpp"
#include "switch/registers.hpp"
#include "switch/switch_window.hpp"

namespace {

constexpr int setpci_capacity = 64;

void enable_nt_port(const std::string& port_bdf)
{
    shell_output(format_command("setpci -s %s COMMAND 2>/dev/null", port_bdf.c_str()),
                 setpci_capacity);
    // Memory Space and Bus Master on; every other COMMAND bit as it was.
    shell_output(format_command("setpci -s %s COMMAND=0006:0006 2>/dev/null", port_bdf.c_str()),
                 setpci_capacity);
}

} // namespace

int enable_swtich8725_port(const KA720_Board& board)
{
    enable_nt_port(board.port0_bdf);
    enable_nt_port(board.port1_bdf);
    return 1;
}

int routing_configuration(KA720_Board& board)
{
    const MappedResource window = open_switch_window(board.switch_bdf);
    if (window.status != ResourceStatus::mapped)
        return 0;
    const RegisterProgram program = register_program(board);
    const uint32_t port0_link = window.load32(program.port0_link_word);
    const uint32_t port1_link = window.load32(program.port1_link_word);
    board.port0_link_up = nt::link_is_up(port0_link);
    board.port1_link_up = nt::link_is_up(port1_link);
    for (const RegisterStore& store : program.stores)
        window.store32(store.offset, store.value);
    return 1;
}
