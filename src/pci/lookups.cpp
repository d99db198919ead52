#include "pci/lookups.hpp"

#include "pci/shell.hpp"
#include "pci/sysfs_paths.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

constexpr int lookup_capacity = 64;
constexpr uint64_t largest_address = 0x7FFFFFFFFFFFFFFF;

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool is_blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::optional<uint64_t> parse_region_address(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')
        && hex_digit_value(text[i + 2]) >= 0)
        i += 2;
    uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && hex_digit_value(text[i]) >= 0; ++i, ++digits) {
        const auto digit = static_cast<uint64_t>(hex_digit_value(text[i]));
        if (value > (largest_address - digit) / 16)
            return std::nullopt;
        value = value * 16 + digit;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

std::optional<uint64_t> get_bdf_base_address(const std::string& bdf)
{
    const std::string command
        = format_command("lspci -s %s -vvv | grep size=32G | awk '{print $5}'", bdf.c_str());
    return parse_region_address(shell_output(command, lookup_capacity));
}

std::string checked_minor_text(std::string_view text)
{
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    const bool all_digits = std::all_of(text.begin(), text.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
    if (text.empty() || !all_digits)
        return {};
    return std::string(text);
}

std::string get_gpu_minor_id(const std::string& bdf)
{
    const std::string command
        = format_command("cat %s%s/%s", driver_directory, bdf.c_str(), minor_attribute);
    return checked_minor_text(shell_output(command, lookup_capacity));
}

std::string read_gpu_minor(const std::string& bdf)
{
    std::ifstream file(driver_directory + bdf + "/" + minor_attribute);
    std::string text(lookup_capacity - 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return checked_minor_text(text);
}
