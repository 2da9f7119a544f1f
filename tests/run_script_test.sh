#!/usr/bin/env bash
# Runs one script test: SCRIPT.tml under tramelis in a fresh temporary host, with the keys of
# SCRIPT.keys (none when missing), navelo.ini from SCRIPT.ini and parameters from SCRIPT.args
# (one per line) when present, a small synthetic speech host on drive C, and compares the
# transcript with SCRIPT.expected and, when SCRIPT.screen exists, the final console rows with it.
# With NAVELO_UPDATE_EXPECTED=1 the expected file is written instead.
# A Windows build (tramelis.exe) runs under Wine (WINEPREFIX from the caller); the platform's own
# folders are then named by the test-only NAVELO_TEST_* variables, since Wine sets USERPROFILE,
# APPDATA and WINDIR itself.
set -u
tramelis=$1
script=$2
base=${script%.tml}
runner=()
windows=()
exe=""
if [[ $tramelis == *.exe ]]; then
  runner=(wine)
  exe=.exe
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home/AppData/Roaming/Navelo" "$tmp/c" "$tmp/work"
ini="$tmp/home/AppData/Roaming/Navelo/navelo.ini"
[ -f "$base.ini" ] && cp "$base.ini" "$ini"
# The synthetic speech host (voice database, rules, letter sounds) on drive C, named in
# navelo.ini unless the test's own file names its own folders.
"${runner[@]}" "$(dirname "$tramelis")/speech_fixture_host$exe" "$tmp/c/navelo" || exit 1
bash "$(dirname "$0")/speech_host_ini.sh" "$ini" 'c:\navelo\difones' 'c:\navelo\letras'
keys="$tmp/keys"
if [ -f "$base.keys" ]; then cp "$base.keys" "$keys"; else : > "$keys"; fi
args=()
if [ -f "$base.args" ]; then mapfile -t args < "$base.args"; fi
# Where the script starts Linux-only programs or opens Linux-only devices, SCRIPT.windows is its
# counterpart for a Windows build, under the same name, with SCRIPT.windows.expected when its
# transcript differs.
source_script=$script
expected=$base.expected
if ((${#runner[@]})) && [ -f "$base.windows" ]; then
  source_script=$base.windows
  [ -f "$base.windows.expected" ] && expected=$base.windows.expected
fi
cp "$source_script" "$tmp/work/$(basename "$script")"
if ((${#runner[@]})); then
  windows=(NAVELO_TEST_USERPROFILE="$tmp/home" NAVELO_TEST_APPDATA="$tmp/home/AppData/Roaming"
           NAVELO_TEST_WINDIR="$tmp/c/windows")
fi
(
  cd "$tmp/work" || exit 1
  env -u USERPROFILE -u APPDATA -u WINDIR -u DISPLAY -u WAYLAND_DISPLAY \
    HOME="$tmp/home" NAVELO_DRIVE_C="$tmp/c" \
    NAVELO_CONSOLE=headless NAVELO_AUDIO=null NAVELO_KEYS="$keys" \
    NAVELO_TRANSCRIPT="$tmp/transcript" NAVELO_SCREEN="$tmp/screen" "${windows[@]}" \
    timeout 60 "${runner[@]}" "$tramelis" "$(basename "$script")" "${args[@]}" < /dev/null > "$tmp/stdout" 2>&1
  echo "rc $?" > "$tmp/rc"
)
if [ "${NAVELO_UPDATE_EXPECTED:-}" = 1 ]; then
  target=$expected
  [ "$source_script" != "$script" ] && target=$base.windows.expected
  cp "$tmp/transcript" "$target"
  [ -f "$base.screen" ] && cp "$tmp/screen" "$base.screen"
  exit 0
fi
if ! diff -u "$expected" "$tmp/transcript"; then
  echo "--- $(cat "$tmp/rc"); output:"; cat "$tmp/stdout"
  exit 1
fi
if [ -f "$base.screen" ] && ! diff -u "$base.screen" "$tmp/screen"; then
  echo "--- the console rows differ"
  exit 1
fi
