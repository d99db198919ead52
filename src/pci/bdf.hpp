#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A BDF text is a PCI function's name exactly as the kernel gives it under
// /sys/bus/pci/devices/: "dddd:bb:dd.f" in lower-case hexadecimal.
bool is_bdf_text(std::string_view text);

struct BdfFields {
    uint32_t domain;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
};

// The four numbers of a BDF text; a piece without a hexadecimal digit raises
// std::invalid_argument("Invalid hexadecimal string").
BdfFields bdf_fields(const std::string& bdf);

// domain << 16 | bus << 8 | device << 5 | function. The device number is
// shifted by 5, not 3, so devices 8 and above overlap the bus number: the
// switch's requester-ID table expects exactly this packing.
uint32_t bdf_string_to_uint32_t(const std::string& bdf);

// The requester-ID look-up table entry for a function: the packed BDF's low
// 16 bits with the function bits replaced by the entry's valid bit.
uint32_t get_bdf_tranlation(const std::string& bdf);

uint32_t get_low_32bits(uint64_t value);
uint32_t get_high_32bits(uint64_t value);
