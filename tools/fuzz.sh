#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz and runs each, one after
# another, for SECONDS (default 20) on its seed corpus. Usage: tools/fuzz.sh [SECONDS [TARGET...]]
# (targets by name without "fuzz_": script, wav...). New inputs that reach new code are kept in
# build-fuzz/corpus/NAME; an input that crashes, hangs or runs out of memory is saved as
# build-fuzz/findings/NAME-... and the run fails. Reproduce one with
# build-fuzz/tests/fuzz/fuzz_NAME FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-20}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(script expression ini wav bmp http url phonemes pho diphone keys batch)
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1 with line tables only: quicker to build than -O2 -g, and stack traces still name the lines.
# Assertions stay on.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS_FUZZ="-O1 -gline-tables-only" -DNAVELO_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets
mkdir -p build-fuzz/findings
failed=()
for name in "${targets[@]}"; do
  corpus="$root/build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "== fuzz_$name for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$root/build-fuzz/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$root/build-fuzz/findings/$name-" \
      "$corpus" "$root/tests/fuzz/corpus/$name" 2>"build-fuzz/fuzz_$name.log"; then
    failed+=("$name")
    tail -n 60 "build-fuzz/fuzz_$name.log"
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" \
    "build-fuzz/fuzz_$name.log" | tr '\n' ' '
  echo
done
if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in build-fuzz/findings)" >&2
  exit 1
fi
