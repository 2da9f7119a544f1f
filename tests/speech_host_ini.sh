#!/usr/bin/env bash
# Names a speech host in a navelo.ini: INI DIFONES_DIR LETRAS_DIR. DIRDIFONES and DIRLETRAS of
# section TRADUTOR are added when the file does not set them already; the rest of the file is
# kept as it is (the keys go right after an existing [TRADUTOR] header, else into a new section).
set -eu
ini=$1
difones=$2
letras=$3
[ -f "$ini" ] || : > "$ini"
add=""
grep -qi '^[[:space:]]*DIRDIFONES[[:space:]]*=' "$ini" || add+="DIRDIFONES=$difones"$'\r\n'
grep -qi '^[[:space:]]*DIRLETRAS[[:space:]]*=' "$ini" || add+="DIRLETRAS=$letras"$'\r\n'
[ -n "$add" ] || exit 0
if grep -qi '^[[:space:]]*\[TRADUTOR\]' "$ini"; then
  ADD="$add" awk 'BEGIN { done = 0 }
    { print }
    !done && toupper($0) ~ /^[ \t]*\[TRADUTOR\]/ { printf "%s", ENVIRON["ADD"]; done = 1 }' \
    "$ini" > "$ini.new"
  mv "$ini.new" "$ini"
else
  # A file that does not end with a line end gets one first.
  [ ! -s "$ini" ] || [ -z "$(tail -c 1 "$ini")" ] || printf '\r\n' >> "$ini"
  printf '[TRADUTOR]\r\n%s' "$add" >> "$ini"
fi
