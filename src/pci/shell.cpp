#include "pci/shell.hpp"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
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
    for (;;) {
        // A chunk is a line, or a piece of at most 255 characters of one.
        std::size_t length = 0;
        int c = 0;
        while (length < chunk_size - 1 && (c = std::getc(stream)) != EOF) {
            // A NUL is not text: what came before it is all there is.
            if (c == '\0')
                return;
            chunk[length++] = static_cast<char>(c);
            if (c == '\n')
                break;
        }
        if (length == 0 || position + length >= static_cast<std::size_t>(capacity))
            return;
        std::memcpy(result + position, chunk, length);
        position += length;
        result[position] = '\0';
    }
}

char* cmd_result(const char* command, char* result, int capacity)
{
    if (capacity > 0)
        result[0] = '\0';
    // Every outside program and driver command runs through the shell, and
    // only checked text is ever placed in a command line. "e": the pipe must
    // not leak into the shells that later commands start.
    const std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command, "re")); // NOLINT(cert-env33-c)
    if (!pipe)
        return nullptr;
    collect_output(pipe.get(), result, capacity);
    return result;
}

// C-style variadic on purpose: the printf format attribute lets the compiler
// check every command line's arguments against its format.
std::string format_command(const char* format, ...) // NOLINT(cert-dcl50-cpp)
{
    std::va_list arguments;
    va_start(arguments, format);
    char* text = nullptr;
    const int length = vasprintf(&text, format, arguments);
    va_end(arguments);
    if (length < 0)
        throw std::bad_alloc();
    const std::unique_ptr<char, decltype(&std::free)> owned(text, &std::free);
    return std::string(text, static_cast<std::size_t>(length));
}

std::string shell_output(const std::string& command, int capacity)
{
    if (capacity <= 0)
        return {};
    std::vector<char> result(static_cast<std::size_t>(capacity), '\0');
    cmd_result(command.c_str(), result.data(), capacity);
    return result.data();
}
