#!/usr/bin/env bash
# Builds everything, makes the host tree, starts the demo tracking site on 127.0.0.1 and runs the
# parcel tracker against it: in a window when there is a display, else in the terminal.
# Everything the demo writes (host tree, user profile, program folder, certificates) stays in
# build/. Extra arguments go to bexilo.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/deps.sh hostkit
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target bexilo bexilo_mon navelo_cmd tramelis
# The host tree (navelo.ini, letter and word sounds, diphone database, pelaso, the tracker's
# sounds) from the host kit, made once and kept in build/hostkit; env.sh points the programs at it.
tools/hostkit/hostkit.sh build
source build/hostkit/env.sh

demo=$root/build/demo
mkdir -p "$demo"
tools/tracking-site/make_certs.sh "$demo/certs"
rm -f "$demo/port"
python3 tools/tracking-site/site.py --certs "$demo/certs" --port 0 --port-file "$demo/port" \
  --advance "${BEXILO_DEMO_ADVANCE:-30}" 2>"$demo/site.log" &
site=$!
trap 'kill "$site" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$demo/port" ] && break
  kill -0 "$site" 2>/dev/null || { cat "$demo/site.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$demo/port" ] || { echo "run.sh: the tracking site did not start" >&2; exit 1; }
port=$(cat "$demo/port")

# The demo CA is trusted through navelo.ini (never by turning verification off), merged in by the
# host's own configuration tool.
pelaso=$NAVELO_DRIVE_C/ubrimo/navelo/pelaso
printf '[NAVELO]\r\nSSL_ARQUIVO_CA=%s\r\n' "$demo/certs/ca.pem" >"$demo/ca.atu"
"$pelaso" "$demo/ca.atu"

# The program folder holds the tracker's sounds; bexilo.url points it at the demo site.
program=$root/build/hostkit/bexilo
printf 'https://127.0.0.1:%s/detalhes.php?P_COD_UNI=\r\n' "$port" >"$program/bexilo.url"
echo "Demo tracking site on https://127.0.0.1:$port (codes: AA123456789BR, BB987654321BR," \
     "CC111222333BR, DD444555666BR)" >&2
cd "$program"
status=0
"$root/build/bexilo" "$@" || status=$?
exit "$status"
