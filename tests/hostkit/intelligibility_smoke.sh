#!/usr/bin/env bash
# The intelligibility measure runs end to end on a handful of words: the host tree is made (or
# found up to date), the words are spoken by tramelis and espeak-ng, and the table has its rows.
set -euo pipefail
build="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/tools/hostkit/hostkit.sh" "$build" >/dev/null
out="$("$root/tools/hostkit/intelligibility.py" "$build" --words 4 --sentences 1)"
echo "$out"
grep -q "^ours (tramelis) " <<<"$out"
grep -q "^espeak-ng pt-br+" <<<"$out"
grep -q "^espeak-ng pt-br " <<<"$out"
