#!/usr/bin/env bash
# The database load of 100,000 nodes (bench/DatabaseFill.h) beside reading the file and zlib's
# `uncompress` alone (bench/inflate_once.c), each in processes of their own:
#   fresh: the first load of a new process, whose memory all comes new from the system; the
#          median over RUNS (7) processes of each side, taken in turns;
#   warm:  loads after the first in one process, which reuse the memory the previous freed; the
#          median of the RUNS loads after the first.
# Also prints the memory the fresh load adds per node against the payload's bytes per node.
# Usage: bench/db_load.sh [BUILD_DIR] [RUNS]   (BUILD_DIR configured with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
runs=${2:-7}
load="$build/bench/db_load_once"
inflate="$build/bench/inflate_once"
for tool in "$load" "$inflate"; do
    [[ -x $tool ]] || { echo "missing $tool: build it with -DQUILLORY_BUILD_BENCH=ON" >&2; exit 2; }
done
work=$(mktemp -d /tmp/quillory-db-load-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$load" make "$work"
file="$work/quillory.dat"
# Both sides read the file from the page cache.
cat "$file" >/dev/null

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >"$work/fresh.load"
: >"$work/fresh.inflate"
for run in $(seq 1 "$runs"); do
    if ((run % 2)); then
        "$load" load "$work" >>"$work/fresh.load"
        "$inflate" "$file" >>"$work/fresh.inflate"
    else
        "$inflate" "$file" >>"$work/fresh.inflate"
        "$load" load "$work" >>"$work/fresh.load"
    fi
done
"$load" load "$work" $((runs + 1)) | tail -n +2 >"$work/warm.load"
"$inflate" "$file" $((runs + 1)) | tail -n +2 >"$work/warm.inflate"

# Field 1 is microseconds, 5 the resident bytes added, 7 the nodes or the payload length.
field() { awk -v f="$2" '{ print $f }' "$work/$1" | median; }
fresh_load=$(field fresh.load 1)
fresh_inflate=$(field fresh.inflate 1)
warm_load=$(field warm.load 1)
warm_inflate=$(field warm.inflate 1)
nodes=$(field fresh.load 7)
payload=$(field fresh.inflate 7)
added=$(field fresh.load 5)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "nodes $nodes, payload $payload bytes ($(awk -v p="$payload" -v n="$nodes" 'BEGIN { printf "%.0f", p / n }') per node), file $(stat -c %s "$file") bytes"
echo "fresh load adds $added resident bytes ($(awk -v a="$added" -v n="$nodes" 'BEGIN { printf "%.0f", a / n }') per node); the minor faults: load $(field fresh.load 3), inflate $(field fresh.inflate 3)"
row() {
    awk -v m="$1" -v a="$2" -v b="$3" -v t="$4" \
        'BEGIN { printf "ROW|%s|%.1f ms|%.1f ms|%.2fx|%s\n", m, a / 1000, b / 1000, a / b, t }'
}
row "database load, 100k nodes, fresh process, beside reading the file and \`uncompress\`" \
    "$fresh_load" "$fresh_inflate" "≤ 1.5x"
row "database load, 100k nodes, warm (later loads in one process), beside the same" \
    "$warm_load" "$warm_inflate" "≤ 1.2x"
