#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev lua5.4 libssl-dev openssl curl
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core espeak-ng python3 xdg-utils)
# MIDI: FluidSynth and a small General MIDI soundfont.
packages+=(libfluidsynth-dev timgm6mb-soundfont)
# The fuzz targets (tests/fuzz) build with clang and libFuzzer.
packages+=(clang libclang-rt-14-dev)
# The window tests run under Xvfb and type with xdotool.
packages+=(xvfb xdotool x11-utils)
# Braille: brltty and its client library; liblouis as an oracle in the braille tests.
packages+=(liblouis-bin brltty libbrlapi-dev)
# Desktop automation: XTest and Xlib, AT-SPI 2, libjpeg; its tests run a GTK window (python3-gi)
# under Xvfb with openbox, switch layouts with setxkbmap and read the keymap with xmodmap, and
# start a session bus for the accessibility bus.
packages+=(libx11-dev libxtst-dev libatspi2.0-dev at-spi2-core libjpeg-dev openbox x11-xkb-utils
  x11-xserver-utils python3-gi gir1.2-gtk-3.0 dbus)
# The system's voices: espeak-ng's library and speech-dispatcher.
packages+=(libespeak-ng-dev libspeechd-dev speech-dispatcher)
# The host kit (tools/hostkit) also needs these; only the run command asks for them.
if [ "${1:-}" = "hostkit" ]; then packages+=(sox wbrazilian python3-numpy python3-scipy); fi
# The Windows stage of the test command: the mingw-w64 cross compilers (posix threads), GoogleTest's
# sources and 64-bit Wine (32-bit Wine, wine32:i386, is tried by tools/test_windows.sh itself); the
# TLS engine check (tests/net/tls_engine_check.sh) also needs openssl and python3; the console
# window's tests run on Xvfb and type with xdotool; dpkg-source unpacks Google Benchmark's Debian
# sources for the benchmarks' smoke run (tools/benchmark_source.sh).
if [ "${1:-}" = "windows" ]; then
  packages=(cmake ninja-build g++ googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine
    openssl python3 xvfb xdotool dpkg-dev)
fi
# The Windows benchmarks (tools/bench_windows.sh): the cross compilers and Wine, the Linux build's
# GoogleTest and Google Benchmark (whose version names the Debian sources built for Windows),
# dpkg-source to unpack those sources, and openssl and python3 for the local https server.
if [ "${1:-}" = "bench-windows" ]; then
  packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev dpkg-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine openssl python3)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
