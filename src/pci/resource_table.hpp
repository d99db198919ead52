#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The start of the first 32 GiB region in a function's sysfs "resource" table
// (lines of start, end and flags in hexadecimal), or nothing.
std::optional<uint64_t> region_32g_in_resource_table(std::string_view table);

// The same, read from /sys/bus/pci/devices/<bdf>/resource without running lspci.
std::optional<uint64_t> read_32g_region(const std::string& bdf);
