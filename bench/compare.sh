#!/usr/bin/env bash
# Runs the interpreter loop benchmark and the same loop (10^6 passes of five statements) in bash
# and in lua5.4 on this machine, and prints statements per second and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
passes=1000000
statements=$((passes * 5))

tramelis_ips=$("$build/bench/interp_bench" --benchmark_format=json 2>/dev/null |
  python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print(int(b["items_per_second"]))')

now() { date +%s%N; }
t0=$(now)
bash -c 'i=0; while :; do s="ab"; s+="$i"; ((i++)); if ((i < '"$passes"')); then continue; fi; break; done'
t1=$(now)
lua5.4 -e 'local i = 0; local s; local n = '"$passes"'
::laco:: s = "ab"; s = s .. i; i = i + 1; if i < n then goto laco end'
t2=$(now)
bash_ips=$((statements * 1000000000 / (t1 - t0)))
lua_ips=$((statements * 1000000000 / (t2 - t1)))
python3 - "$tramelis_ips" "$bash_ips" "$lua_ips" <<'PY'
import sys
t, b, l = map(int, sys.argv[1:])
print(f"tramelis  {t/1e6:8.2f} M statements/s")
print(f"bash      {b/1e6:8.2f} M statements/s   tramelis/bash = {t/b:.1f}")
print(f"lua5.4    {l/1e6:8.2f} M statements/s   tramelis/lua  = {t/l:.2f}")
PY
