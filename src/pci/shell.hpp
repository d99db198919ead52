#pragma once

#include <cstdio>
#include <string>

// Runs `command` through the system shell and keeps its standard output in
// `result`: the longest run of whole fgets chunks (lines, or 255-character
// pieces of longer lines) that fits in capacity - 1 characters, up to the
// first NUL if any. The buffer always ends up holding a terminated text, empty
// when the command printed nothing. Returns `result`, or null when the shell could not be started.
// Waits until the command has ended; its exit status is not looked at.
char* cmd_result(const char* command, char* result, int capacity);

// The collection half of cmd_result, reading from any stream.
void collect_output(std::FILE* stream, char* result, int capacity);

// printf-style formatting of a command line; the text is never cut short.
std::string format_command(const char* format, ...) __attribute__((format(printf, 1, 2)));

// cmd_result into a buffer of `capacity` characters, as a string.
std::string shell_output(const std::string& command, int capacity);
