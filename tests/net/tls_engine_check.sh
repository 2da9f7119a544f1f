#!/usr/bin/env bash
# Builds the TLS engine check for Linux and, with mingw-w64, for Windows (x86_64 and i686), starts
# the local TLS peers and runs the check: natively against OpenSSL, then under Wine with each
# Windows engine (Schannel always; OpenSSL when its libraries are found beside the program or in
# OPENSSL_DLL_DIR). Runs the i686 program under 32-bit Wine when that works, else the x86_64 one
# under 64-bit Wine, and says which. Exit status 0 when every run passed.
#
# Usage: tests/net/tls_engine_check.sh [OUT_DIR]   (default: build-tlscheck)
# Needs what "tools/deps.sh windows" installs (mingw-w64 compilers, wine), openssl and python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-build-tlscheck}
mkdir -p "$out"
out=$(cd "$out" && pwd)
certs=$out/certs

# The demo authority and the site's certificate, plus one of the same authority for another name
# and a self-signed one (all with the site's key).
"$root/tools/tracking-site/make_certs.sh" "$certs"
if [ ! -s "$certs/other.pem" ]; then
  (
    cd "$certs"
    openssl req -new -key server.key -subj "/CN=outro.exemplo" -out other.csr 2>/dev/null
    printf 'subjectAltName=DNS:outro.exemplo\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >other.ext
    openssl x509 -req -in other.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
      -extfile other.ext -out other.pem 2>/dev/null
    rm -f other.csr other.ext ca.srl
  )
fi
if [ ! -s "$certs/self.pem" ]; then
  openssl req -x509 -key "$certs/server.key" -days 3650 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost" -out "$certs/self.pem" 2>/dev/null
fi

launcher=()
command -v ccache >/dev/null && launcher=(ccache)
flags=(-std=c++20 -O1 -Wall -Wextra -Werror -I"$root")
cd "$root"
"${launcher[@]}" g++ "${flags[@]}" tests/net/tls_engine_check.cpp tests/net/tls_engine_check_posix.cpp \
  platform/posix/openssl_tls.cpp platform/posix/net_socket.cpp -lssl -lcrypto -pthread \
  -o "$out/tls_engine_check"
win_sources=(tests/net/tls_engine_check.cpp tests/net/tls_engine_check_win32.cpp
  platform/win32/tls_win32.cpp platform/win32/tls_openssl_dll.cpp platform/win32/tls_schannel.cpp
  platform/win32/tls_check/net_socket_subset.cpp)
for arch in i686 x86_64; do
  "${launcher[@]}" "$arch-w64-mingw32-g++-posix" "${flags[@]}" -D_WIN32_WINNT=0x0601 \
    "${win_sources[@]}" -static -lsecur32 -lcrypt32 -lws2_32 -o "$out/tls_engine_check-$arch.exe"
done

python3 "$root/tests/net/tls_check_peers.py" --certs "$certs" --port-file "$out/ports" &
peers=$!
trap 'kill $peers 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$out/ports" ] && break; sleep 0.1; done
ports=$(cat "$out/ports")
rm -f "$out/ports"

status=0
echo "[${SECONDS}s] == Linux, OpenSSL"
"$out/tls_engine_check" "$ports" "$certs" || status=1

export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wincerts="Z:${certs//\//\\}"
exe=$out/tls_engine_check-i686.exe
if ! wine "$exe" 2>&1 | grep -q "usage: "; then
  echo "32-bit Wine cannot run the i686 program here; running the x86_64 build under 64-bit Wine"
  exe=$out/tls_engine_check-x86_64.exe
fi
if [ -n "${OPENSSL_DLL_DIR:-}" ]; then cp "$OPENSSL_DLL_DIR"/*.dll "$out/"; fi
for engine in schannel openssl auto; do
  echo "[${SECONDS}s] == Wine ($(basename "$exe")), $engine"
  wine "$exe" "$ports" "$wincerts" "$engine" || status=1
done

# Libraries under OpenSSL's names that lack its functions are let go, and Schannel serves.
fake=$out/fake-openssl
mkdir -p "$fake"
cp "$exe" "$fake/"
printf 'int navelo_not_openssl(void) { return 0; }\n' >"$fake/empty.c"
case $exe in
  *i686*) cc=i686-w64-mingw32-gcc names=(libssl-3 libcrypto-3 libssl-1_1 libcrypto-1_1) ;;
  *) cc=x86_64-w64-mingw32-gcc names=(libssl-3-x64 libcrypto-3-x64 libssl-1_1-x64 libcrypto-1_1-x64) ;;
esac
for name in "${names[@]}"; do "$cc" -shared -o "$fake/$name.dll" "$fake/empty.c"; done
echo "[${SECONDS}s] == Wine ($(basename "$exe")), auto, beside libraries that only bear OpenSSL's names"
if wine "$fake/$(basename "$exe")" "$ports" "$wincerts" auto >"$fake/log" 2>&1 &&
  grep -q "^engine: Schannel" "$fake/log"; then
  grep -E "^(engine|passed)" "$fake/log"
else
  cat "$fake/log"
  echo "FAILED: the stand-in libraries were not let go for Schannel"
  status=1
fi
echo "[${SECONDS}s] done"
exit $status
