#!/usr/bin/env bash
# Speaks a sentence with tramelis through the host tree of BUILD_DIR/hostkit and draws its
# spectrogram, to see at a glance that the voice sounds like speech.
#
# Usage: tools/hostkit/spectrogram.sh BUILD_DIR ["sentence" [SERVICE_TYPE]]
# Writes BUILD_DIR/hostkit/fala.wav and BUILD_DIR/hostkit/fala.png, and beside them the same
# sentence said by espeak-ng pt-br (the voice the units come from) in fala-espeak.wav and
# fala-espeak.png, drawn the same size; with a service type (3: the
# MBROLA-based engine with the stand-in voice) the sentence is spoken by that speech service
# instead of the diphone voice, into fala-tipoN.wav and fala-tipoN.png.
set -euo pipefail
build="$(cd "$1" && pwd)"
sentence="${2:-Bexilo, rastreamento de objetos. Última atualização: objeto entregue ao destinatário.}"
service="${3:-}"
name=fala${service:+-tipo$service}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A script file that begins with the UTF-8 byte-order mark is read as UTF-8.
{ printf '\xef\xbb\xbf'; printf 'ESCREVE "%s"\nTERMINA MUDO\n' "$sentence"; } >"$work/fala.tml"
rm -f "$build/hostkit/$name.wav"
(
  source "$build/hostkit/env.sh"
  if [ -n "$service" ]; then
    # A copy of the tree's navelo.ini that hands the texts to the service.
    mkdir -p "$work/appdata/Navelo"
    sed -e 's/^SAPI=.*/SAPI=S\r/' -e "s/^TIPOSAPI=.*/TIPOSAPI=$service\r/" \
      "$APPDATA/Navelo/navelo.ini" >"$work/appdata/Navelo/navelo.ini"
    export APPDATA="$work/appdata"
  fi
  cd "$work"
  NAVELO_CONSOLE=headless NAVELO_AUDIO="$build/hostkit/$name.wav" "$build/tramelis" fala.tml
)
sox "$build/hostkit/$name.wav" -n remix 1 rate 11025 \
  spectrogram -x 1600 -y 257 -t "$sentence" -o "$build/hostkit/$name.png"
echo "$build/hostkit/$name.png"
if [ -z "$service" ]; then
  espeak-ng -v pt-br -w "$work/espeak.wav" -- "$sentence"
  sox -D "$work/espeak.wav" -b 8 -e unsigned-integer "$build/hostkit/fala-espeak.wav" rate 11025
  sox "$build/hostkit/fala-espeak.wav" -n remix 1 \
    spectrogram -x 1600 -y 257 -t "espeak-ng pt-br: $sentence" -o "$build/hostkit/fala-espeak.png"
  echo "$build/hostkit/fala-espeak.png"
fi
