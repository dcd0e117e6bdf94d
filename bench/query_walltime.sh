#!/usr/bin/env bash
# Wall time of `quillory-cli query` against the local simulator, from start to exit, next to
# the ping it measured. Usage: bench/query_walltime.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-10}
sim="$build/tools/sim/quillory-sim"
cli="$build/cli/quillory-cli"
for tool in "$sim" "$cli"; do
    [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 2; }
done
port=$((30000 + RANDOM % 20000))
log=$(mktemp)
"$sim" --address 127.0.0.1 --port "$port" --seed 7 --fragments 3 >"$log" &
simpid=$!
trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null || true; rm -f "$log"' EXIT
# The simulator prints one line once it listens.
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$log" && break
    kill -0 $simpid 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
    sleep 0.1
done

echo "run  wall_ms  ping_ms"
total=0
for i in $(seq 1 "$runs"); do
    start=$(date +%s%N)
    out=$("$cli" query --json "127.0.0.1:$port")
    end=$(date +%s%N)
    wall=$(( (end - start) / 1000000 ))
    ping=$(sed -n 's/.*"ping":\([0-9-]*\).*/\1/p' <<<"$out")
    printf '%3d  %7d  %7s\n' "$i" "$wall" "$ping"
    total=$((total + wall))
done
echo "mean wall time: $((total / runs)) ms over $runs runs"
