#!/usr/bin/env bash
# Prints the folder of Google Benchmark's sources for the Windows benchmarks, fetching them first
# when missing: Debian's source package, the version of the installed libbenchmark-dev (so both
# builds measure with the same library), through apt-get source with a private list of source
# archives (the system's apt configuration is left as it is), unpacked with Debian's patches.
# Usage: tools/benchmark_source.sh [CACHE_FOLDER]   (default ~/.cache/navelo)
set -euo pipefail
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/navelo}
version=$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || true)
wanted=benchmark${version:+=$version}
dir="$cache/benchmark-${version:-latest}"
if [ -f "$dir/CMakeLists.txt" ]; then
  echo "$dir"
  exit 0
fi
mkdir -p "$cache"
apt_dir=$(mktemp -d "$cache/apt.XXXXXX")
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/src"
# The source archive of the suite the system's own packages come from.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
  "http://deb.debian.org/debian $suite main" >"$apt_dir/sources.list"
opts=(-q -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o Debug::NoLocking=1
  -o APT::Sandbox::User="$(id -un)")
apt-get "${opts[@]}" update >&2
(cd "$apt_dir/src" && apt-get "${opts[@]}" source --download-only "$wanted" >&2)
rm -rf "$dir.tmp"
dpkg-source -x "$apt_dir"/src/benchmark_*.dsc "$dir.tmp" >&2
mv "$dir.tmp" "$dir"
echo "$dir"
