// BDF names: a name that passes the check re-formats to the same 12
// characters, and its packing and translation value follow from its fields.

#include "pci/bdf.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    if (!is_bdf_text(name))
        return 0;
    const BdfFields fields = bdf_fields(name);
    char again[16];
    std::snprintf(again, sizeof again, "%04x:%02x:%02x.%x", fields.domain, fields.bus,
                  fields.device, fields.function);
    if (name != again)
        std::abort();
    const uint32_t packed = fields.domain << 16 | fields.bus << 8 | fields.device << 5 | fields.function;
    if (bdf_string_to_uint32_t(name) != packed)
        std::abort();
    const uint32_t translation = get_bdf_tranlation(name);
    if ((translation & 7) != 1 || translation > 0xFFFF || (translation & ~7u) != (packed & 0xFFF8))
        std::abort();
    return 0;
}
