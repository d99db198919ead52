#include "pci/shell.hpp"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct PipeCloser {
    void operator()(std::FILE* pipe) const { pclose(pipe); }
};

constexpr int chunk_size = 256;

} // namespace

void collect_output(std::FILE* stream, char* result, int capacity)
{
    if (capacity <= 0)
        return;
    result[0] = '\0';
    std::size_t position = 0;
    char chunk[chunk_size];
    while (std::fgets(chunk, chunk_size, stream) != nullptr) {
        const std::size_t length = std::strlen(chunk);
        if (position + length >= static_cast<std::size_t>(capacity))
            break;
        std::memcpy(result + position, chunk, length + 1);
        position += length;
    }
}

char* cmd_result(const char* command, char* result, int capacity)
{
    if (capacity > 0)
        result[0] = '\0';
    // "e": the pipe must not leak into the shells that later commands start.
    const std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command, "re"));
    if (!pipe)
        return nullptr;
    collect_output(pipe.get(), result, capacity);
    return result;
}

std::string format_command(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    va_end(arguments);
    return text;
}

std::string shell_output(const std::string& command, int capacity)
{
    if (capacity <= 0)
        return {};
    std::vector<char> result(static_cast<std::size_t>(capacity), '\0');
    cmd_result(command.c_str(), result.data(), capacity);
    return result.data();
}
