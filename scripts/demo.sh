#!/bin/sh
# Builds ka720-optical and shows it at work on simulated hosts (needs root:
# every run happens in a private mount namespace).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build
cmake --build build -j2
build/tests/ka720-demo
