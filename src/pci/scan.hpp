#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

// Every accelerator function found, in byte-wise order of the BDF texts. For
// the kernel's fixed-width names that is bus order, which groups each board's
// five functions together: GPU, GPU, switch upstream port, NT port, NT port.
extern std::set<std::string> ka720_device_bdf_set;

// The same BDFs as a list: entry i is the i-th smallest.
extern std::vector<std::string> ka720_device_bdf_vector;

// Walks /sys/bus/pci/devices/ and fills ka720_device_bdf_set. Returns what
// went wrong when the directory cannot be listed.
std::optional<std::string> init_pcie_kzdevice();
