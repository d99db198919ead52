// The shell runner: what it keeps of a command's output, and its bound.

#include "pci/shell.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The buffer after collecting `output` with the given capacity; it starts
// filled with junk, as callers' buffers do.
std::string collected(const std::string& output, int capacity)
{
    std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1, '#');
    std::string input = output;
    std::FILE* stream = input.empty() ? std::fopen("/dev/null", "r")
                                      : fmemopen(input.data(), input.size(), "r");
    collect_output(stream, buffer.data(), capacity);
    std::fclose(stream);
    EXPECT_EQ(buffer[static_cast<std::size_t>(capacity)], '#') << "written past the capacity";
    EXPECT_NE(std::memchr(buffer.data(), '\0', static_cast<std::size_t>(capacity)), nullptr);
    return buffer.data();
}

TEST(CollectOutput, KeepsWholeChunksWithinTheBound)
{
    const std::string line62(62, 'a');
    const std::string line63(63, 'b');
    const std::string line300(300, 'c');
    struct Case {
        std::string output;
        int capacity;
        std::string kept;
    };
    const Case cases[] = {
        {"3a000000000\n", 64, "3a000000000\n"},
        {line62 + "\n", 64, line62 + "\n"},              // 63 characters fit
        {line63 + "\n", 64, ""},                          // 64 do not
        {"abc\n" + std::string(70, 'd') + "\n", 64, "abc\n"},
        {line300 + "\n", 1000, line300 + "\n"},           // chunks of 255 and 46
        {"", 64, ""},                                     // no output: empty, not junk
        {"no line end", 64, "no line end"},
        {"x\n", 1, ""},
        {std::string("ok\nab\0cd\n", 9), 64, "ok\n"},   // a NUL ends the text
    };
    for (const Case& c : cases)
        EXPECT_EQ(collected(c.output, c.capacity), c.kept) << c.output.substr(0, 20);
}

TEST(CmdResult, RunsThroughTheShellAndWaits)
{
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(cmd_result("printf 'one\\ntwo\\n'", buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "one\ntwo\n");

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(cmd_result("true", buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "");

    // The command has ended when the call returns.
    EXPECT_EQ(shell_output("sleep 0.2; echo done", 64), "done\n");
}

TEST(FormatCommand, NeverCutsTheCommandShort)
{
    const std::string long_word(500, 'x');
    EXPECT_EQ(format_command("echo %s > %s", long_word.c_str(), "/dev/null"),
              "echo " + long_word + " > /dev/null");
}

} // namespace
