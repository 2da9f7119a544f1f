#!/usr/bin/env bash
# The Windows console window as a user meets it, under Wine on the display in DISPLAY (an Xvfb):
# tramelis.exe runs a script in its own window, the keyboard (xdotool, through Wine's own key
# translation) types into it, and the grid (NAVELO_SCREEN), the window's title and the transcript
# come back. Then the same window is closed with Alt+F4 while a menu waits for its key.
# Usage: windows_window_e2e.sh BUILD_DIR (WINEPREFIX and the Wine variables from the caller).
set -u
build=$(cd "$1" && pwd)
[ -n "${DISPLAY:-}" ] || { echo "needs DISPLAY (an Xvfb)"; exit 1; }
command -v xdotool >/dev/null || { echo "needs xdotool"; exit 1; }
tmp=$(mktemp -d)
pid=""
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/home/AppData/Roaming/Navelo" "$tmp/work"
wine "$build/speech_fixture_host.exe" "$tmp/speech" || exit 1
# Wine sees the whole Linux tree as drive Z.
winpath() { printf 'z:%s' "${1//\//\\}"; }
printf '[VIDEO]\r\nCANTOTELA=NAO\r\nLARGURALETRA=10\r\nALTURALETRA=20\r\nFONTE=NoSuchFontAnywhere\r\n[TRADUTOR]\r\nDIRDIFONES=%s\r\nDIRLETRAS=%s\r\n' \
  "$(winpath "$tmp/speech/difones")" "$(winpath "$tmp/speech/letras")" \
  > "$tmp/home/AppData/Roaming/Navelo/navelo.ini"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts tramelis on a script (UTF-8) and waits for its window, whose id goes to $window.
start() {
  printf '\xef\xbb\xbf%s' "$2" > "$tmp/work/$1.tml"
  rm -f "$tmp/transcript" "$tmp/screen"
  (cd "$tmp/work" && NAVELO_TEST_USERPROFILE="$tmp/home" NAVELO_TEST_APPDATA="$tmp/home/AppData/Roaming" \
    NAVELO_CONSOLE=window NAVELO_AUDIO=null NAVELO_TRANSCRIPT="$tmp/transcript" \
    NAVELO_SCREEN="$tmp/screen" exec timeout 90 wine "$build/tramelis.exe" "$1.tml") \
    > "$tmp/stdout" 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 1 300); do
    window=$(xdotool search --name "$3" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { fail "no window titled '$3' came up"; cat "$tmp/stdout"; return 1; }
}

# Waits until the transcript holds a line matching the pattern.
wait_for() {
  for _ in $(seq 1 200); do
    grep -qE "$1" "$tmp/transcript" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the transcript never showed /$1/"
  return 1
}

finish() {
  local code
  wait "$pid"
  code=$?
  pid=""
  return "$code"
}

# 1. Typing: accented letters through dead keys, a correction with Backspace, Enter; then a
#    function key read as a key (no modifiers, 0 and 59).
if start typing $'titulo "Janela de teste"\r\nescreve "Nome?"\r\nle $nome\r\nescreve "Nome: " $nome\r\nle tecla mudo $k\r\nescreve "Tecla " $k\r\n' \
  "Janela de teste"; then
  wait_for $'^write\tNome\\?'
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  # The accents come through dead keys, as the system composes them with the next letter.
  xdotool type --delay 60 "Jo"
  xdotool key --delay 60 dead_tilde a
  xdotool type --delay 60 "o"
  xdotool key --delay 60 dead_acute e
  xdotool type --delay 60 "x"
  xdotool key --delay 60 BackSpace Return
  wait_for $'^write\tNome: '
  xdotool key F1
  finish
  code=$?
  [ "$code" -eq 0 ] || fail "the typing run ended with $code"
  grep -q $'^write\tNome: Joãoé' "$tmp/transcript" || fail "the name typed is not Joãoé"
  head -n 3 "$tmp/screen" > "$tmp/top"
  printf 'Nome?\nJoãoé\nNome: Joãoé\n' | diff -u - "$tmp/top" || fail "the grid's first rows differ"
  grep -q $'^write\tTecla 000#0#59' "$tmp/transcript" || { fail "F1 was not read as 0, 59"; grep Tecla "$tmp/transcript"; }
  grep -q $'^title\tPrograma terminado' "$tmp/transcript" || fail "no end title"
fi

# 2. Closing the window with Alt+F4 while a menu waits for its key ends the program at once.
if start closing $'titulo "Menu de teste"\r\nmenu cria 1 1 30 3\r\nmenu adiciona "um"\r\nmenu adiciona "dois"\r\nseja $n 1\r\nmenu executa $n $k $t\r\nescreve "depois do menu"\r\n' \
  "Menu de teste"; then
  # The menu is up once its first item is said; a loaded machine may lose the first Alt+F4 to a
  # window that is not focused yet, so it is pressed again until the program is gone.
  wait_for $'\tum'
  for _ in $(seq 1 10); do
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key alt+F4
    for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null || break
  done
  finish
  code=$?
  [ "$code" -eq 0 ] || fail "closing during the menu ended with $code"
  ! grep -q "depois do menu" "$tmp/transcript" || fail "the script went on after the window closed"
  grep -q $'^exit\t0' "$tmp/transcript" || fail "no exit 0 in the transcript"
fi

[ "$failures" -eq 0 ] && echo "windows window e2e: passed"
exit $((failures > 0))
