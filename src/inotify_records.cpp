#include "inotify_records.hpp"

#include <sys/inotify.h>

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view driver_name = "norvane";

bool calls_for_reconfiguration(const inotify_event& header, const char* name)
{
    if ((header.mask & IN_Q_OVERFLOW) != 0)
        return true;
    if ((header.mask & IN_CREATE) == 0 || header.len == 0)
        return false;
    const std::string_view text(name, ::strnlen(name, header.len));
    return text.find(driver_name) != std::string_view::npos;
}

} // namespace

std::size_t count_reconfiguration_events(const char* bytes, std::size_t length)
{
    std::size_t count = 0;
    std::size_t position = 0;
    while (length - position >= sizeof(inotify_event)) {
        inotify_event header{};
        std::memcpy(&header, bytes + position, sizeof header);
        const std::size_t name_room = length - position - sizeof header;
        if (header.len > name_room)
            break;
        if (calls_for_reconfiguration(header, bytes + position + sizeof header))
            ++count;
        position += sizeof header + header.len;
    }
    return count;
}
