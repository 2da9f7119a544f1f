#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev lua5.4 libssl-dev openssl curl libsdl2-dev libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core espeak-ng libespeak-ng-dev libspeechd-dev speech-dispatcher python3 xdg-utils)
# The host kit (tools/hostkit) also needs these; only the run command asks for them.
if [ "${1:-}" = "hostkit" ]; then packages+=(sox wbrazilian); fi
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
