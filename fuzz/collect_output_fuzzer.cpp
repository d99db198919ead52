// The shell runner's collection: never past its capacity, always a
// terminated text made of whole chunks from the start of the output.

#include "pci/shell.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int capacity = data[0] % 80;
    std::string output(reinterpret_cast<const char*>(data + 1), size - 1);
    // Exactly the capacity, so that the sanitizer sees any write beyond it.
    std::vector<char> buffer(static_cast<std::size_t>(capacity));
    std::FILE* stream = output.empty() ? std::fopen("/dev/null", "r")
                                       : fmemopen(output.data(), output.size(), "r");
    if (stream == nullptr)
        return 0;
    collect_output(stream, buffer.data(), capacity);
    std::fclose(stream);
    if (capacity == 0)
        return 0;
    const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', buffer.size()));
    if (end == nullptr)
        std::abort(); // not terminated
    const std::string kept(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    // What is kept starts the output.
    if (output.compare(0, kept.size(), kept) != 0)
        std::abort();
    return 0;
}
