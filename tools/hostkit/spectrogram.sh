#!/usr/bin/env bash
# Speaks a sentence with tramelis through the host tree of BUILD_DIR/hostkit and draws its
# spectrogram, to see at a glance that the diphone voice sounds like speech.
#
# Usage: tools/hostkit/spectrogram.sh BUILD_DIR ["sentence"]
# Writes BUILD_DIR/hostkit/fala.wav and BUILD_DIR/hostkit/fala.png.
set -euo pipefail
build="$(cd "$1" && pwd)"
sentence="${2:-Bexilo, rastreamento de objetos. Última atualização: objeto entregue ao destinatário.}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A script file that begins with the UTF-8 byte-order mark is read as UTF-8.
{ printf '\xef\xbb\xbf'; printf 'ESCREVE "%s"\nTERMINA MUDO\n' "$sentence"; } >"$work/fala.tml"
rm -f "$build/hostkit/fala.wav"
(
  source "$build/hostkit/env.sh"
  cd "$work"
  NAVELO_CONSOLE=headless NAVELO_AUDIO="$build/hostkit/fala.wav" "$build/tramelis" fala.tml
)
sox "$build/hostkit/fala.wav" -n remix 1 rate 11025 \
  spectrogram -x 1600 -y 257 -t "$sentence" -o "$build/hostkit/fala.png"
echo "$build/hostkit/fala.png"
