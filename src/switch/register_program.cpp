#include "switch/register_program.hpp"

#include "pci/bdf.hpp"
#include "switch/registers.hpp"

using namespace nt;

RegisterProgram register_program(const KA720_Board& board)
{
    return RegisterProgram{
        port0_lside + link_control_status,
        port1_lside + link_control_status,
        {
            {port1_vside + device_control, device_control_value},
            {port1_lside + device_control, device_control_value},
            {port0_vside + device_control, device_control_value},
            {port0_lside + device_control, device_control_value},

            // Port 0: requests from the link land in GPU 0's memory.
            {port0_vside + at_base_low, 0},
            {port0_vside + at_base_high, 0},
            {port0_vside + vside_lut_entry, get_bdf_tranlation(board.gpu0_bdf)},
            {port0_lside + at_base_low, get_low_32bits(board.gpu0_bar0)},
            {port0_lside + at_base_high, get_high_32bits(board.gpu0_bar0)},
            {port0_lside + lside_lut_entry, lside_lut_value},

            // Port 1: the same for GPU 1.
            {port1_vside + at_base_low, 0},
            {port1_vside + at_base_high, 0},
            {port1_vside + vside_lut_entry, get_bdf_tranlation(board.gpu1_bdf)},
            {port1_lside + at_base_low, get_low_32bits(board.gpu1_bar0)},
            {port1_lside + at_base_high, get_high_32bits(board.gpu1_bar0)},
            {port1_lside + lside_lut_entry, lside_lut_value},
        },
    };
}
