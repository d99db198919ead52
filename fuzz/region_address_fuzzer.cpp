// lspci's address field: an accepted address fits a signed 64-bit value and
// reads back the same from its own hexadecimal form.

#include "pci/lookups.hpp"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<uint64_t> address = parse_region_address(text);
    if (!address)
        return 0;
    if (*address > 0x7FFFFFFFFFFFFFFFull)
        std::abort();
    char again[32];
    std::snprintf(again, sizeof again, "%" PRIx64, *address);
    if (parse_region_address(again) != address)
        std::abort();
    return 0;
}
