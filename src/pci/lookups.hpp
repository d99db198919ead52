#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The address that lspci prints for a memory region: hexadecimal, leading
// blanks skipped, an optional "0x", read up to the first non-digit. Nothing
// when there is no digit (an unassigned region) or the value does not fit a
// signed 64-bit address.
std::optional<uint64_t> parse_region_address(std::string_view text);

// The bus address of the function's first 32G memory region, from lspci.
std::optional<uint64_t> get_bdf_base_address(const std::string& bdf);

// A minor number as the driver's attribute gives it, without its line end and
// trailing blanks; empty unless what is left is one or more decimal digits, so
// that only a bare number is ever placed into a driver command.
std::string checked_minor_text(std::string_view text);

// The GPU's minor number from the driver's "minor" attribute, checked as above.
std::string get_gpu_minor_id(const std::string& bdf);

// The same, read from the attribute directly rather than through the shell.
std::string read_gpu_minor(const std::string& bdf);
