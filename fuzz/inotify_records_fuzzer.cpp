// The inotify record walk: whatever the records claim, nothing beyond the
// bytes read is touched, and no more records are counted than fit.

#include "inotify_records.hpp"

#include <sys/inotify.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // A copy of exactly `size` bytes, so that the sanitizer sees any read past it.
    std::vector<char> bytes(data, data + size);
    const std::size_t count = count_reconfiguration_events(bytes.data(), bytes.size());
    if (count > size / sizeof(inotify_event))
        std::abort();
    return 0;
}
