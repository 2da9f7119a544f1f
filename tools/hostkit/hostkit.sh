#!/usr/bin/env bash
# Builds the host tree for Linux in BUILD_DIR/hostkit, unless it is already there for the same
# inputs (the kit's sources, the inventory tool, the voice, sox and the word list).
#
# Usage: tools/hostkit/hostkit.sh BUILD_DIR      (a CMake build folder of this tree)
# Then:  source BUILD_DIR/hostkit/env.sh         (points the programs at the tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
out="$build/hostkit"
words=/usr/share/dict/brazilian
if ! command -v espeak-ng >/dev/null || ! command -v sox >/dev/null || [ ! -f "$words" ] \
   || [ ! -x /usr/bin/python3 ] || ! /usr/bin/python3 -c "import numpy, scipy" 2>/dev/null; then
  "$here/../deps.sh" hostkit
fi

# The inventory tool runs the runtime's own text to phonemes and synthesizer; without it the
# database holds the base inventory only.
tool=""
if cmake --build "$build" --target hostkit_units >"$build/hostkit_units.log" 2>&1; then
  tool="$build/tools/hostkit/hostkit_units"
else
  echo "hostkit: the unit inventory tool did not build (see $build/hostkit_units.log);" \
       "the database gets the base inventory only" >&2
fi

stamp=$( {
  cd "$here"
  find . -type f \( -name '*.py' -o -name '*.rgr' -o -name '*.exc' -o -name '*.nrl' \
    -o -name '*.abr' -o -name '*.pro' -o -name pelaso \) -print0 \
    | LC_ALL=C sort -z | xargs -0 sha256sum
  [ -n "$tool" ] && sha256sum "$tool"
  sha256sum "$words"
  espeak-ng --version
  sox --version
  echo "$out"
} | sha256sum | cut -d' ' -f1)

if [ -f "$out/STAMP" ] && [ "$(cat "$out/STAMP")" = "$stamp" ]; then
  echo "hostkit: $out is up to date"
  exit 0
fi

start=$(date +%s)
rm -rf "$out"
/usr/bin/python3 "$here/hostkit.py" "$out" ${tool:+--tool "$tool"} --words "$words"
echo "$stamp" >"$out/STAMP"
echo "hostkit: $out written in $(( $(date +%s) - start )) s"
