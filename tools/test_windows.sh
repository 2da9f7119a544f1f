#!/usr/bin/env bash
# The Windows stage of the test command: builds the programs for 32-bit Windows (build-win32,
# always compiled and linked) and runs the tests under Wine. Where 32-bit Wine cannot be installed
# (wine32:i386), the same tree is built for 64-bit Windows (build-win64) and the tests run there
# under 64-bit Wine instead; the output says which ran and why. One Wine prefix per run, inside
# the build folder, made without dialogs.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
stage_start=$SECONDS
lap() { echo "== windows: $1 took $((SECONDS - stage_start)) s"; stage_start=$SECONDS; }

tools/deps.sh windows || exit 1
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
wine32_reason=""
if ! installed wine32:i386; then
  log=$(mktemp)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
  $sudo apt-get update -q >"$log" 2>&1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q wine32:i386 >>"$log" 2>&1
  if ! installed wine32:i386; then
    wine32_reason=$(grep -E '^(E|Err):|File has unexpected size|unmet dependencies' "$log" | head -3)
    [ -n "$wine32_reason" ] || wine32_reason="apt-get could not install it"
  fi
  rm -f "$log"
fi
lap "installing"

# The build the tests run on also has the benchmarks measured under Wine (tools/bench_windows.sh),
# with Google Benchmark built from Debian's sources, and runs them once briefly after the tests.
bench_args=()
log=$(mktemp)
if bench_source=$(tools/benchmark_source.sh 2>"$log"); then
  bench_args=(-DNAVELO_BENCH=ON -DNAVELO_BENCHMARK_SOURCE="$bench_source")
else
  echo "== windows: Google Benchmark's Debian sources could not be fetched" \
    "(tools/benchmark_source.sh), so the Windows benchmarks are not built or run:"
  grep -E '^(E|W|Err):' "$log" | head -3 | sed 's/^/     /'
fi
rm -f "$log"
# configure DIR ARCH [CMAKE ARGS...]
configure() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNAVELO_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$2-w64-mingw32.cmake" "${launcher[@]}" "${@:3}" \
    >/dev/null && cmake --build "$1" -j "$jobs"
}
# The benchmarks go into the build the tests run on.
win32_args=()
[ -n "$wine32_reason" ] || win32_args=("${bench_args[@]}")
configure build-win32 i686 "${win32_args[@]}" || { echo "== windows: the 32-bit build failed"; exit 1; }
lap "building build-win32 (i686)"
if [ -z "$wine32_reason" ]; then
  run_dir=build-win32
  echo "== windows: the tests run on build-win32 under 32-bit Wine"
else
  configure build-win64 x86_64 "${bench_args[@]}" || { echo "== windows: the 64-bit build failed"; exit 1; }
  lap "building build-win64 (x86_64)"
  run_dir=build-win64
  echo "== windows: 32-bit Wine (wine32:i386) could not be installed:"
  echo "$wine32_reason" | sed 's/^/     /'
  echo "== windows: so the tests run on build-win64 (the same tree for x86_64) under 64-bit Wine;"
  echo "   build-win32 was compiled and linked but not run"
fi

# One prefix for the whole run: no Mono or Gecko prompts, no crash dialog, no debug chatter.
export WINEPREFIX="$PWD/$run_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine's sound device: ALSA's null device, so winmm has a device without a sound card and the
# tests never sound aloud on a machine with one.
export ALSA_CONFIG_PATH="$PWD/tests/windows/alsa_null.conf"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi
# The Wine server stays up for the whole run, so each test starts at once.
wineserver -p 900
# The first program of a fresh Wine server starts Wine's own services, which inherit its output
# handles: a test doing that would keep ctest reading its output until its time-out. They are
# started here, with nothing attached.
wine cmd /c exit </dev/null >/dev/null 2>&1
lap "preparing the Wine prefix"

# Tests that still fail under Wine are listed, each with its reason, in
# tests/windows_known_failures.txt. They run too, on their own: what they give is reported but does
# not fail the stage. Every other test must pass.
known=$(sed -e 's/[[:space:]]*#.*$//' -e '/^[[:space:]]*$/d' tests/windows_known_failures.txt |
  sed -e 's/[][\\.^$*+?(){}|]/\\&/g' -e 's/^/^/' -e 's/$/$/' | paste -sd'|' -)
known_count=$(sed -e 's/[[:space:]]*#.*$//' -e '/^[[:space:]]*$/d' tests/windows_known_failures.txt | wc -l)
# No display for these: a program that opens a window by mistake fails instead of popping up.
unset DISPLAY WAYLAND_DISPLAY
# The console window's tests (its own, and tramelis typed into under Xvfb) run apart, below.
window_tests='^GdiWindowTest\.|^e2e/windows_window$'
# An empty exclusion would match every name, so the known failures are left out only when listed.
exclude="$window_tests"
[ -n "$known" ] && exclude="$known|$window_tests"
ctest --test-dir "$run_dir" --output-on-failure -j "$jobs" --timeout 120 -E "$exclude"
status=$?
lap "running the tests under Wine ($run_dir)"

if ((${#bench_args[@]})); then
  if tools/bench_windows.sh --smoke "$run_dir"; then
    echo "== windows: the benchmarks ran once under Wine (a smoke run; the figures: tools/bench_windows.sh)"
  else
    status=1
  fi
  lap "the benchmarks' smoke run"
fi

# The package a user unpacks: made from build-win32 (the product) and checked; the build the tests
# ran on is packed too, unpacked, and its tramelis.exe must speak with the package's voice (still
# with no display, before the window tests).
tests/windows/package_check.sh build-win32 "$run_dir" || status=1
lap "packing and checking navelo-win32.zip"

# The tracker end to end, as a user installs it: the package of the build the tests ran on
# unpacked into the prefix's drive C and installed; bexilo.exe headless with a key file against the
# demo tracking site over HTTPS (the demo authority in SSL_ARQUIVO_CA), its monitor started and
# stopped, and tramelis.exe downloading a page through Schannel. Each run is compared with the
# Linux build's run on the same tree; the transcripts stay in $run_dir/windows-tracker-e2e.
timeout -k 30 900 python3 tests/windows/tracker_e2e.py "$run_dir" build || status=1
lap "running the tracker end to end under Wine"

# The console window's tests need a desktop: an Xvfb of our own, on a display number it picks
# itself, for them alone (every other test above ran with no display, so no program of theirs
# could open a window anywhere).
xvfb_pid=""
if command -v Xvfb >/dev/null; then
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  display_number=$(timeout 10 head -n 1 "$fifo")
  rm -f "$fifo"
  if [ -n "$display_number" ]; then
    export DISPLAY=":$display_number" NAVELO_WINDOW_TESTS=1
    # Wine's desktop was made without a display for the tests above, and no window can be made on
    # it: a new Wine server makes a new desktop, on Xvfb.
    wineserver -k 2>/dev/null
    wineserver -w
    wineserver -p 900
    # Wine's services again start with the new server's first program: not a test's.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    echo "== windows: the window tests draw on Xvfb $DISPLAY"
  else
    echo "== windows: Xvfb did not start, so the window tests cannot run"
    status=1
  fi
else
  echo "== windows: no Xvfb, so the window tests cannot run"
  status=1
fi
stop_xvfb() { [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null; }
trap stop_xvfb EXIT
if [ -n "${NAVELO_WINDOW_TESTS:-}" ]; then
  ctest --test-dir "$run_dir" --output-on-failure -j "$jobs" --timeout 120 -R "$window_tests" ||
    status=1
  lap "running the window tests under Wine and Xvfb"
fi
if [ "$known_count" -gt 0 ]; then
  echo "== windows: the $known_count tests known to fail under Wine (tests/windows_known_failures.txt):"
  ctest --test-dir "$run_dir" -j "$jobs" --timeout 120 -R "$known" 2>&1 |
    grep -E 'tests passed|\(Failed\)|\(Timeout\)|Not Run' | sed 's/^/     /'
  lap "running the known failures (not counted)"
fi
wineserver -k 2>/dev/null
exit $status
