#!/usr/bin/env bash
# Runs one script test: SCRIPT.tml under tramelis in a fresh temporary host, with the keys of
# SCRIPT.keys (none when missing), navelo.ini from SCRIPT.ini and parameters from SCRIPT.args
# (one per line) when present, and compares the transcript with SCRIPT.expected.
# With NAVELO_UPDATE_EXPECTED=1 the expected file is written instead.
set -u
tramelis=$1
script=$2
base=${script%.tml}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home/AppData/Roaming/Navelo" "$tmp/c" "$tmp/work"
[ -f "$base.ini" ] && cp "$base.ini" "$tmp/home/AppData/Roaming/Navelo/navelo.ini"
keys="$tmp/keys"
if [ -f "$base.keys" ]; then cp "$base.keys" "$keys"; else : > "$keys"; fi
args=()
if [ -f "$base.args" ]; then mapfile -t args < "$base.args"; fi
cp "$script" "$tmp/work/"
(
  cd "$tmp/work" || exit 1
  env -u USERPROFILE -u APPDATA -u WINDIR -u DISPLAY -u WAYLAND_DISPLAY \
    HOME="$tmp/home" NAVELO_DRIVE_C="$tmp/c" \
    NAVELO_CONSOLE=headless NAVELO_AUDIO=null NAVELO_KEYS="$keys" \
    NAVELO_TRANSCRIPT="$tmp/transcript" \
    timeout 60 "$tramelis" "$(basename "$script")" "${args[@]}" < /dev/null > "$tmp/stdout" 2>&1
  echo "rc $?" > "$tmp/rc"
)
if [ "${NAVELO_UPDATE_EXPECTED:-}" = 1 ]; then
  cp "$tmp/transcript" "$base.expected"
  exit 0
fi
if ! diff -u "$base.expected" "$tmp/transcript"; then
  echo "--- $(cat "$tmp/rc"); output:"; cat "$tmp/stdout"
  exit 1
fi
