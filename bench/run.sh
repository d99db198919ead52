#!/bin/sh
# Builds ka720-optical and its benchmarks and prints the figures as Markdown
# (needs root, and strace: sh scripts/install-deps.sh && apt-get install strace).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build > /dev/null
cmake --build build -j2 --target ka720-optical ka720-benchmarks > /dev/null
build/bench/ka720-benchmarks
