#include "switch/switch_window.hpp"

#include "pci/sysfs_paths.hpp"
#include "switch/registers.hpp"

#include <cstdio>

std::string switch_window_path(const std::string& switch_bdf)
{
    return pci_devices_directory + switch_bdf + "/resource0";
}

MappedResource open_switch_window(const std::string& switch_bdf)
{
    const std::string path = switch_window_path(switch_bdf);
    MappedResource window = map_resource(path, nt::window_size, 0, ResourceAccess::read_write);
    switch (window.status) {
    case ResourceStatus::mapped:
        break;
    case ResourceStatus::open_failed:
        std::printf("Error: Failed to open %s\n", path.c_str());
        break;
    case ResourceStatus::too_small:
        std::printf("Error: register window of switch %s is %lld bytes, smaller than 0x%x; "
                    "the switch is not touched.\n",
                    switch_bdf.c_str(), window.file_size, nt::window_size);
        break;
    case ResourceStatus::map_failed:
        std::puts("Map device register failed!");
        break;
    }
    return window;
}
