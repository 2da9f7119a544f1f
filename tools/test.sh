#!/usr/bin/env bash
# Builds everything and runs every test, then builds again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test there too, and last builds the fuzz targets with
# clang and runs each for 20 seconds (tools/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
# The host kit's packages too: a test runs the intelligibility measure on a few words.
tools/deps.sh hostkit
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNAVELO_SANITIZE=ON -DNAVELO_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
tools/fuzz.sh 20
# Then the same tree for Windows, tested under Wine.
tools/test_windows.sh
