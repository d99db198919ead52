#pragma once

#include "pci/resource_file.hpp"

#include <string>

// "/sys/bus/pci/devices/<switch>/resource0": BAR0 of the switch's upstream port.
std::string switch_window_path(const std::string& switch_bdf);

// The switch's register window mapped read-write over the whole file. When it
// cannot be used, the reason is printed and the result's status says so;
// nothing has been accessed then.
MappedResource open_switch_window(const std::string& switch_bdf);
