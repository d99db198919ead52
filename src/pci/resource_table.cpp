#include "pci/resource_table.hpp"

#include "pci/sysfs_paths.hpp"

#include <fstream>
#include <sstream>

namespace {

constexpr uint64_t size_32g = 32ull << 30;

} // namespace

std::optional<uint64_t> region_32g_in_resource_table(std::string_view table)
{
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        uint64_t start = 0;
        uint64_t end = 0;
        if (!(fields >> std::hex >> start >> end) || end < start)
            continue;
        if (end - start == size_32g - 1)
            return start;
    }
    return std::nullopt;
}

std::optional<uint64_t> read_32g_region(const std::string& bdf)
{
    std::ifstream file(pci_devices_directory + bdf + "/resource");
    std::ostringstream table;
    table << file.rdbuf();
    return region_32g_in_resource_table(table.str());
}
