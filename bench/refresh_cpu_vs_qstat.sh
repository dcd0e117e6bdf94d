#!/usr/bin/env bash
# The CPU cost of one refresh of the servers table: SERVERS saved servers asked at once, as the
# window's refresh does (one multi-server query: `quillory-cli query` runs the same one), beside
# QStat (`quakestat -gps` on the query ports) asking the same servers. User + system CPU
# seconds of each command, process start included for both, median of RUNS; ROW lines.
# Usage: bench/refresh_cpu_vs_qstat.sh [BUILD_DIR] [RUNS] [SERVERS]
set -euo pipefail
build=${1:-build}
runs=${2:-10}
servers=${3:-50}
sim="$build/tools/sim/quillory-sim"
cli="$build/cli/quillory-cli"
for tool in "$sim" "$cli"; do
    [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 2; }
done
command -v quakestat >/dev/null || { echo "missing quakestat: apt-get install qstat" >&2; exit 2; }

workdir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$workdir"
}
trap cleanup EXIT

base=$((20000 + RANDOM % 30000))
game=()
query=()
for i in $(seq 0 $((servers - 1))); do
    port=$((base + 10 * i))
    "$sim" --port "$port" --seed "$i" --phase-seconds 3600 >"$workdir/sim$i.log" 2>&1 &
    pids+=($!)
    game+=("127.0.0.1:$port")
    query+=(-gps "127.0.0.1:$((port + 1))")
done
for i in $(seq 0 $((servers - 1))); do
    for _ in $(seq 100); do
        grep -q 'query port' "$workdir/sim$i.log" && break
        sleep 0.1
    done
done

# CPU seconds (user + system) of one command, from bash's own accounting of its children.
cpu_ms() {
    local t
    TIMEFORMAT='%3U %3S'
    t=$( { time "$@" >"$workdir/out" 2>&1; } 2>&1 ) || true
    awk -v u="${t% *}" -v s="${t#* }" 'BEGIN { printf "%.1f\n", (u + s) * 1000 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >"$workdir/cli"; : >"$workdir/qstat"
for run in $(seq 1 "$runs"); do
    cpu_ms "$cli" query --json "${game[@]}" >>"$workdir/cli"
    answered=$(grep -c '"status"' "$workdir/out" || true)
    [[ $answered -eq $servers ]] || { echo "quillory answered $answered of $servers" >&2; exit 1; }
    cpu_ms quakestat "${query[@]}" >>"$workdir/qstat"
    answered=$(grep -c '^127\.0\.0\.1:[0-9]* *[0-9]' "$workdir/out" || true)
    [[ $answered -eq $servers ]] || { echo "qstat answered $answered of $servers" >&2; exit 1; }
done
echo "ROW refresh_cpu_ms servers=$servers quillory=$(median <"$workdir/cli") qstat=$(median <"$workdir/qstat") runs=$runs"
