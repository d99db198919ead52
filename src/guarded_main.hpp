#pragma once

#include <cstdio>
#include <exception>

// Runs a program's body. Nothing in it is expected to throw; should something
// (memory, say), the operator gets a message and a failure status rather than
// an abort.
inline int guarded_main(int (*body)(int, char**), int argc, char** argv)
{
    try {
        return body(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Error: %s\n", error.what());
        return -1;
    }
}
