#pragma once

#include "pci/board.hpp"

#include <cstdint>
#include <vector>

struct RegisterStore {
    uint32_t offset;
    uint32_t value;

    bool operator==(const RegisterStore&) const = default;
};

// What configuring one board does to its switch, in order: the two link words
// are read before anything is written, then every store is made once.
struct RegisterProgram {
    uint32_t port0_link_word;
    uint32_t port1_link_word;
    std::vector<RegisterStore> stores;
};

RegisterProgram register_program(const KA720_Board& board);
