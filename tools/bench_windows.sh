#!/usr/bin/env bash
# The Windows build's benchmarks under Wine beside the Linux build's, in one run, and their ratios:
#   - interpreter statements per second (interp_bench, CPU time);
#   - a 50 MB download over https (net_bench): the Linux build through OpenSSL, the Windows build
#     through Schannel (pinned, as when no OpenSSL library is present), both from the same local
#     server outside the programs (bench/https_server.py, Python's ssl on the Linux side, with the
#     test authority that tests/net/tls_relay.py makes);
#   - from Speak of one sentence to the first block handed to the audio output (speech_bench, our
#     synthesizer over the tests' synthetic speech host).
# Builds what it needs: the Linux benchmarks in build, the Windows ones in build-bench-win32 (under
# 32-bit Wine when wine32:i386 is installed) or else build-bench-win64 (64-bit Wine), with Google
# Benchmark built from Debian's sources by the cross compiler (tools/benchmark_source.sh).
# Usage: tools/bench_windows.sh [REPETITIONS]   (default 3; the medians are compared)
#        tools/bench_windows.sh --smoke BUILD_DIR
#   The smoke run of the Windows test stage: runs each of the three benchmarks of a Windows build
#   that has them once, briefly, under the Wine prefix and server the stage set up, and fails when
#   one fails; no figures.
set -euo pipefail
cd "$(dirname "$0")/.."

# start_https_server DIR: the test authority and a server certificate made in DIR by
# tests/net/tls_relay.py, and bench/https_server.py serving with them, its port in DIR/https_port.
start_https_server() {
  https_dir=$1
  mkdir -p "$https_dir"
  python3 tests/net/tls_relay.py start "$https_dir" >/dev/null
  rm -f "$https_dir/https_port"
  python3 bench/https_server.py "$https_dir" &
  https_pid=$!
  for _ in $(seq 100); do [ -f "$https_dir/https_port" ] && break; sleep 0.1; done
}
stop_https_server() {
  kill "$https_pid" 2>/dev/null || true
  python3 tests/net/tls_relay.py stop "$https_dir"
}

if [ "${1:-}" = "--smoke" ]; then
  dir=${2:?a Windows build folder}
  work="$PWD/$dir/bench-smoke"
  start_https_server "$work/tls"
  trap stop_https_server EXIT
  # Wine's services start with the server's first program and keep its output open: not ours.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  status=0
  # smoke NAME FILTER: one brief run; every benchmark it selects must run without an error.
  run_once() {
    NAVELO_TEST_TLS_RELAY="Z:$work/tls" NAVELO_BENCH_HTTPS_PORT=$(cat "$work/tls/https_port") \
      NAVELO_BENCH_TLS_ENGINE=schannel wine "$dir/bench/$1.exe" --benchmark_filter="$2" \
      --benchmark_min_time=0.01 </dev/null 2>&1
  }
  smoke() {
    local out rc=0
    out=$(run_once "$1" "$2") || rc=$?
    # Wine's own server has been seen to go away under a loaded machine ("wine client error: ...
    # recvmsg: Connection reset by peer"), which says nothing of the benchmark: the server is
    # started again, as the stage started it, and the benchmark runs once more, saying so.
    if [ "$rc" -ne 0 ] && echo "$out" | grep -q '^wine client error'; then
      echo "== windows: the Wine server went away during the smoke run of $1; started again:"
      echo "$out" | tail -n 5 | sed 's/^/     /'
      wineserver -p 900 || true
      wine cmd /c exit </dev/null >/dev/null 2>&1
      rc=0
      out=$(run_once "$1" "$2") || rc=$?
    fi
    if [ "$rc" -ne 0 ] || ! echo "$out" | grep -q '^BM_' || echo "$out" | grep -q 'ERROR OCCURRED'; then
      echo "== windows: the benchmark smoke run of $1 failed (status $rc):"
      echo "$out" | tail -n 20 | sed 's/^/     /'
      status=1
    fi
  }
  smoke interp_bench 'BM_InterpreterLoop'
  smoke net_bench '^BM_Download50MbTls/|^BM_DownloadPage60KbTls/'
  smoke speech_bench '^BM_SpeakToFirstBlock/0'
  exit $status
fi

repetitions=${1:-3}
jobs=$(nproc)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

tools/deps.sh bench-windows >&2
source_dir=$(tools/benchmark_source.sh)
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  arch=i686 win_dir=build-bench-win32 wine_arch=win32 wine_name="32-bit Wine"
else
  arch=x86_64 win_dir=build-bench-win64 wine_arch=win64 wine_name="64-bit Wine"
  echo "== bench: 32-bit Wine (wine32:i386) is not installed: the x86_64 build runs under 64-bit Wine" >&2
fi
targets=(interp_bench net_bench speech_bench)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j "$jobs" --target "${targets[@]}" >&2
cmake -S . -B "$win_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNAVELO_TESTS=OFF \
  -DNAVELO_BENCH=ON -DNAVELO_BENCHMARK_SOURCE="$source_dir" \
  -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" "${launcher[@]}" >/dev/null
cmake --build "$win_dir" -j "$jobs" --target "${targets[@]}" >&2

# One Wine prefix for the run, as the Windows test stage makes it: no dialogs, no chatter.
export WINEPREFIX="$PWD/$win_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=$wine_arch
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi
# A server already started by wineboot stays, and this one then says so (status 2).
wineserver -p 900 || true
wine cmd /c exit </dev/null >/dev/null 2>&1

# The test authority and server certificate, and the https server both builds fetch from.
work="$PWD/$win_dir/bench"
start_https_server "$work/tls"
cleanup() {
  stop_https_server
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
port=$(cat "$work/tls/https_port")

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
common=(--benchmark_format=json --benchmark_repetitions="$repetitions"
  --benchmark_report_aggregates_only=true)
# run SIDE NAME FILTER [ARGS...]: one benchmark's JSON into $work/SIDE-NAME.json.
run() {
  local side=$1 name=$2 filter=$3
  shift 3
  echo "== bench: $side $name" >&2
  if [ "$side" = linux ]; then
    NAVELO_TEST_TLS_RELAY="$work/tls" NAVELO_BENCH_HTTPS_PORT=$port NAVELO_BENCH_TLS_ENGINE=openssl \
      "build/bench/$name" --benchmark_filter="$filter" "$@" >"$work/$side-$name.json"
  else
    NAVELO_TEST_TLS_RELAY="Z:$work/tls" NAVELO_BENCH_HTTPS_PORT=$port NAVELO_BENCH_TLS_ENGINE=schannel \
      wine "$win_dir/bench/$name.exe" --benchmark_filter="$filter" "$@" </dev/null \
      >"$work/$side-$name.json"
  fi
}
for side in linux windows; do
  # The loop runs a fixed 3 times a repetition; one repetition is enough for a CPU-time figure.
  run $side interp_bench 'BM_InterpreterLoop' --benchmark_format=json
  run $side net_bench '^BM_Download50MbTls' "${common[@]}"
  run $side speech_bench '^BM_SpeakToFirstBlock/0' "${common[@]}"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$work" "$wine_name" "$load_before" "$load_after" <<'PY'
import json, os, sys
work, wine_name, before, after = sys.argv[1:]

def figure(side, name, key):
    with open(os.path.join(work, f"{side}-{name}.json")) as f:
        runs = json.load(f)["benchmarks"]
    for run in runs:
        if run.get("error_occurred"):
            sys.exit(f"{side} {name}: {run.get('error_message')}")
    chosen = [r for r in runs if r.get("aggregate_name") == "median"] or runs
    value = chosen[0][key]
    if key == "real_time":  # in the benchmark's unit: as milliseconds
        value *= {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[chosen[0]["time_unit"]]
    return value, chosen[0].get("label", "")

rows = []
li, _ = figure("linux", "interp_bench", "items_per_second")
wi, _ = figure("windows", "interp_bench", "items_per_second")
rows.append(("interpreter, statements per s (CPU)", f"{li/1e6:.2f} M", f"{wi/1e6:.2f} M", wi / li))
ld, llabel = figure("linux", "net_bench", "bytes_per_second")
wd, wlabel = figure("windows", "net_bench", "bytes_per_second")
rows.append(("50 MB over https, MB/s (wall clock)", f"{ld/1e6:.0f}", f"{wd/1e6:.0f}", wd / ld))
ls, _ = figure("linux", "speech_bench", "real_time")
ws, _ = figure("windows", "speech_bench", "real_time")
rows.append(("Speak to the first block, ms", f"{ls:.3f}", f"{ws:.3f}", ws / ls))
print(f"{'figure':40} {'Linux':>10} {'Windows':>10} {'Windows/Linux':>14}")
for name, linux, windows, ratio in rows:
    print(f"{name:40} {linux:>10} {windows:>10} {ratio:>14.2f}")
print(f"https: Linux {llabel}; Windows under {wine_name}: {wlabel}")
print(f"load average (1, 5, 15 min) before: {before}; after: {after}; {os.cpu_count()} cores")
PY
