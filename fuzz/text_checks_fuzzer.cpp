// Minor numbers and the host node file: only a bare number, and only 0 or 1
// from a first line that says exactly that, ever come out.

#include "driver/host_node_file.hpp"
#include "pci/lookups.hpp"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string minor = checked_minor_text(text);
    for (const char c : minor) {
        if (c < '0' || c > '9')
            std::abort();
    }
    if (!minor.empty() && text.substr(0, minor.size()) != minor)
        std::abort();

    const std::optional<int> id = parse_host_node_text(text);
    if (id) {
        if (*id != 0 && *id != 1)
            std::abort();
        std::string_view line = text.substr(0, text.find('\n'));
        std::size_t digits = 0;
        for (const char c : line) {
            if (!std::isspace(static_cast<unsigned char>(c)) && c != '0' + *id)
                std::abort();
            digits += c == '0' + *id;
        }
        if (digits != 1)
            std::abort();
    }
    return 0;
}
