#include "pci/bdf.hpp"

#include <sstream>
#include <stdexcept>

namespace {

bool is_lower_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

uint32_t string_to_uint32_t(const std::string& text)
{
    std::istringstream stream(text);
    uint32_t value = 0;
    stream >> std::hex >> value;
    if (stream.fail())
        throw std::invalid_argument("Invalid hexadecimal string");
    return value;
}

} // namespace

bool is_bdf_text(std::string_view text)
{
    constexpr std::string_view shape = "xxxx:xx:xx.x";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'x' ? !is_lower_hex_digit(text[i]) : text[i] != shape[i])
            return false;
    }
    // The kernel never names a device above 0x1f or a function above 7.
    return text[8] <= '1' && text[11] <= '7';
}

BdfFields bdf_fields(const std::string& bdf)
{
    BdfFields fields{};
    fields.domain = string_to_uint32_t(bdf.substr(0, 4));
    fields.bus = string_to_uint32_t(bdf.substr(5, 2));
    fields.device = string_to_uint32_t(bdf.substr(8, 2));
    fields.function = string_to_uint32_t(bdf.substr(11, 1));
    return fields;
}

uint32_t bdf_string_to_uint32_t(const std::string& bdf)
{
    const BdfFields fields = bdf_fields(bdf);
    return fields.domain << 16 | fields.bus << 8 | fields.device << 5 | fields.function;
}

uint32_t get_bdf_tranlation(const std::string& bdf)
{
    return ((bdf_string_to_uint32_t(bdf) & 0xFFFF) >> 3 << 3) | 1;
}

uint32_t get_low_32bits(uint64_t value)
{
    return static_cast<uint32_t>(value & 0xFFFFFFFFu);
}

uint32_t get_high_32bits(uint64_t value)
{
    return static_cast<uint32_t>(value >> 32);
}
