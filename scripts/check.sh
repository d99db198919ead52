#!/bin/sh
# Builds ka720-optical and runs its whole test suite (needs root).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build
cmake --build build -j2
cd build
ctest --output-on-failure -j2
