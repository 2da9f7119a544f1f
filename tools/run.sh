#!/usr/bin/env bash
# Builds the runtime and runs the sample script with tramelis.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target tramelis
exec build/tramelis apps/samples/ola.tml "$@"
