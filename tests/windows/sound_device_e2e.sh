#!/usr/bin/env bash
# The Windows programs and the sound device under Wine: tramelis.exe speaks a line through the
# device (winmm, ALSA's null device) and says nothing about sound; with Wine's audio drivers
# switched off it speaks the same line silently, saying once on standard error that there is no
# sound device, and ends normally. The device tests of tradutor_tests run again with the drivers
# off. Usage: sound_device_e2e.sh BUILD_DIR (a Windows build; WINEPREFIX from the caller).
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
mkdir -p "$tmp/home/AppData/Roaming/Navelo" "$tmp/c" "$tmp/work"
ini="$tmp/home/AppData/Roaming/Navelo/navelo.ini"
wine "$build/speech_fixture_host.exe" "$tmp/c/navelo" || exit 1
bash "$here/../speech_host_ini.sh" "$ini" 'c:\navelo\difones' 'c:\navelo\letras'
printf 'escreve "bom dia"\r\n' > "$tmp/work/som.tml"
drivers_off="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv,winecoreaudio.drv=d"

run() {  # NAME [VAR=VALUE...]: runs the script, leaving NAME.out, NAME.rc and NAME.transcript
  local name=$1
  shift
  (
    cd "$tmp/work" || exit 1
    env -u DISPLAY HOME="$tmp/home" NAVELO_DRIVE_C="$tmp/c" NAVELO_CONSOLE=headless \
      NAVELO_AUDIO=device NAVELO_TRANSCRIPT="$tmp/$name.transcript" \
      NAVELO_TEST_USERPROFILE="$tmp/home" NAVELO_TEST_APPDATA="$tmp/home/AppData/Roaming" \
      NAVELO_TEST_WINDIR="$tmp/c/windows" ALSA_CONFIG_PATH="$here/alsa_null.conf" "$@" \
      timeout 60 wine "$build/tramelis.exe" som.tml < /dev/null > "$tmp/$name.out" 2>&1
    echo $? > "$tmp/$name.rc"
  )
}
check() {  # NAME EXPECTED_STDERR_PATTERN|-: rc 0, the line spoken, and what standard error says
  local name=$1 pattern=$2
  if [ "$(cat "$tmp/$name.rc")" != 0 ]; then
    echo "$name: exit code $(cat "$tmp/$name.rc")"; fail=1
  fi
  if ! grep -q $'^speak\tbom dia' "$tmp/$name.transcript" 2>/dev/null; then
    echo "$name: the line was not spoken"; fail=1
  fi
  local said
  said=$(grep -a 'NAVELO_AUDIO' "$tmp/$name.out")
  if [ "$pattern" = - ] && [ -n "$said" ]; then echo "$name: unexpected: $said"; fail=1; fi
  if [ "$pattern" != - ] && ! grep -aq "$pattern" <<<"$said"; then
    echo "$name: standard error does not say '$pattern':"; cat "$tmp/$name.out"; fail=1
  fi
}

run device
check device -
run no_device WINEDLLOVERRIDES="$drivers_off"
check no_device "NAVELO_AUDIO: no sound device"

# The device tests with the drivers off: the missing device is seen and refused cleanly.
if ! env WINEDLLOVERRIDES="$drivers_off" NAVELO_TEST_NO_SOUND_DEVICE=1 \
     timeout 120 wine "$build/tests/tradutor_tests.exe" --gtest_filter='WaveDevice*' \
     > "$tmp/gtest.out" 2>&1; then
  echo "tradutor_tests with the drivers off failed:"; cat "$tmp/gtest.out"; fail=1
fi
[ "$fail" = 0 ] && echo "sound device: played through winmm, and silent without a device"
exit "$fail"
