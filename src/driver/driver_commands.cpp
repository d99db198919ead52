#include "driver/driver_commands.hpp"

#include "pci/shell.hpp"
#include "pci/sysfs_paths.hpp"

#include <cinttypes>
#include <sys/stat.h>

namespace {

// The commands print nothing: echo's output goes into the attribute.
constexpr int command_capacity = 100;

} // namespace

bool driver_loaded()
{
    struct stat status {};
    return ::stat(driver_directory, &status) == 0 && S_ISDIR(status.st_mode);
}

void send_pt_p2p_cfg(const std::string& gpu_bdf, const std::string& minor, uint64_t window)
{
    shell_output(format_command("echo pt_p2p_cfg %s %" PRIx64 " > %s%s/%s", minor.c_str(), window,
                                driver_directory, gpu_bdf.c_str(), command_attribute),
                 command_capacity);
}

void send_node(const std::string& gpu_bdf, int id)
{
    shell_output(format_command("echo node %d > %s%s/%s", id, driver_directory, gpu_bdf.c_str(),
                                command_attribute),
                 command_capacity);
}

void send_p2p_ping(const std::string& gpu_bdf, char direction, uint64_t window)
{
    shell_output(format_command("echo p2p_ping %c %" PRIx64 " > %s%s/%s", direction, window,
                                pci_devices_directory, gpu_bdf.c_str(), command_attribute),
                 command_capacity);
}
