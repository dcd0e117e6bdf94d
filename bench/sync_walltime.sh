#!/usr/bin/env bash
# Wall time of `quillory-cli gantry sync` of one small package from the local simulator, from
# start to exit, into a fresh game and data folder each run.
# Usage: bench/sync_walltime.sh [BUILD_DIR] [RUNS] [CLI]   (CLI: another quillory-cli to time)
set -euo pipefail
build=${1:-build}
runs=${2:-10}
sim="$build/tools/sim/quillory-sim"
cli=${3:-$build/cli/quillory-cli}
for tool in "$sim" "$cli"; do
    [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 2; }
done
work=$(mktemp -d)
port=$((30000 + RANDOM % 20000))
http=$((port + 100))
mkdir -p "$work/packages"
python3 - "$work/packages/small.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr("small.pbo", b"x" * 4096)
PY
"$sim" --address 127.0.0.1 --port "$port" --gantry "$work/packages" --http-port "$http" \
    >"$work/sim.log" 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$work/sim.log" && break
    kill -0 $simpid 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
    sleep 0.1
done

echo "run  wall_ms"
total=0
for i in $(seq 1 "$runs"); do
    rm -rf "$work/game" "$work/data"
    mkdir -p "$work/game" "$work/data"
    echo exe >"$work/game/IRONVALE.EXE"
    start=$(date +%s%N)
    "$cli" gantry --game "$work/game" --data "$work/data" sync "127.0.0.1:$port" >/dev/null
    end=$(date +%s%N)
    wall=$(( (end - start) / 1000000 ))
    printf '%3d  %7d\n' "$i" "$wall"
    total=$((total + wall))
done
echo "mean wall time: $((total / runs)) ms over $runs runs"
