#!/bin/sh
# Builds ka720-optical and proves it as far as this machine can (needs root):
# the test suite, the same suite with AddressSanitizer and UBSan, each fuzz
# target for a bounded time from its seed corpus, clang-tidy and cppcheck.
set -eu
cd "$(dirname "$0")/.."
fuzz_seconds=${KA720_FUZZ_SECONDS:-30}

echo "== build and test"
cmake -S . -B build -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DKA720_SANITIZE=ON
cmake --build build-sanitize -j2
(cd build-sanitize && ctest --output-on-failure -j2)

echo "== fuzz, ${fuzz_seconds} s per target"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKA720_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz -j2
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    found=$(mktemp -d)
    if ! build-fuzz/fuzz/"$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix=build-fuzz/ "$found" "$corpus" > build-fuzz/"$target".log 2>&1; then
        tail -n 40 build-fuzz/"$target".log
        exit 1
    fi
    echo "$target: $(grep -E '^stat::number_of_executed_units' build-fuzz/"$target".log)"
    rm -rf "$found"
done

echo "== clang-tidy"
run-clang-tidy -p build -quiet -j 2 "$(pwd)/src/" > build/clang-tidy.log 2>&1 || {
    grep -E "warning:|error:" build/clang-tidy.log
    exit 1
}
echo "clean"

echo "== cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr \
    --error-exitcode=1 --quiet -I src src
echo "clean"
