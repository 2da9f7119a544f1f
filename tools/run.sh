#!/usr/bin/env bash
# Builds the runtime and runs the sample script with tramelis.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target tramelis
# The host tree (navelo.ini, letter and word sounds, diphone database, pelaso, the tracker's
# sounds) from the host kit, made once and kept in build/hostkit; env.sh points the programs at it.
tools/hostkit/hostkit.sh build
source build/hostkit/env.sh
exec build/tramelis apps/samples/ola.tml "$@"
