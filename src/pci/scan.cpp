#include "pci/scan.hpp"

#include "pci/bdf.hpp"
#include "pci/shell.hpp"
#include "pci/sysfs_paths.hpp"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

std::set<std::string> ka720_device_bdf_set;
std::vector<std::string> ka720_device_bdf_vector;

namespace {

// The functions that make up a board, by the words the kernel writes into
// their "vendor" and "device" files.
struct FunctionKind {
    const char* vendor;
    const char* device;
    // cppcheck-suppress unusedStructMember
    bool upstream_port_only; // the switch's downstream ports share its IDs
};

constexpr FunctionKind ka720_functions[] = {
    {"0x2b7c", "0x0029", false}, // GPU
    {"0x2b7c", "0x0021", false}, // GPU
    {"0x10b5", "0x8725", true},  // PCIe switch
    {"0x10b5", "0x87b0", false}, // NT port
    {"0x10b5", "0x87b1", false}, // NT port
};

constexpr int port_type_capacity = 64;
constexpr char upstream_port_type = '5';

struct DirCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The first white-space-delimited word of a file; empty when it has none.
std::string first_word(const std::string& path)
{
    std::ifstream file(path);
    std::string word;
    file >> word;
    return word;
}

// The third digit that setpci prints for the PCI Express capability's first
// word is its Device/Port Type field.
bool is_switch_upstream_port(const std::string& bdf)
{
    const std::string answer = shell_output(
        format_command("setpci -s %s CAP_EXP.l 2>/dev/null", bdf.c_str()), port_type_capacity);
    return answer.size() >= 3 && answer[2] == upstream_port_type;
}

bool is_ka720_function(const std::string& bdf, const std::string& vendor, const std::string& device)
{
    const auto* kind = std::find_if(std::begin(ka720_functions), std::end(ka720_functions),
                                    [&](const FunctionKind& k) {
                                        return vendor == k.vendor && device == k.device;
                                    });
    if (kind == std::end(ka720_functions))
        return false;
    return !kind->upstream_port_only || is_switch_upstream_port(bdf);
}

std::string listing_failure()
{
    return std::string("Error: cannot list ") + pci_devices_directory + ": " + std::strerror(errno);
}

} // namespace

std::optional<std::string> init_pcie_kzdevice()
{
    const std::unique_ptr<DIR, DirCloser> directory(opendir(pci_devices_directory));
    if (!directory)
        return listing_failure();
    for (errno = 0; const dirent* entry = readdir(directory.get()); errno = 0) {
        // Only names of the kernel's own form are ever used, since they end
        // up in shell command lines.
        const std::string bdf = entry->d_name;
        if (!is_bdf_text(bdf))
            continue;
        const std::string path = pci_devices_directory + bdf;
        const std::string vendor = first_word(path + "/vendor");
        const std::string device = first_word(path + "/device");
        if (vendor.empty() || device.empty())
            continue;
        if (is_ka720_function(bdf, vendor, device))
            ka720_device_bdf_set.insert(bdf);
    }
    if (errno != 0)
        return listing_failure();
    return std::nullopt;
}
