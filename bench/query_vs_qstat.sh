#!/usr/bin/env bash
# `quillory-cli query` against QStat (`quakestat -gps` on the query port), side by side in one
# run against local simulators: the wall time of one server, then of SERVERS servers asked in
# one command each, then of MANY servers (one simulator running them all, as the server
# browser sees them) asked by quillory-cli in one command and by QStat from a server list
# file. Runs alternate between the two tools so that both see the same machine. Ends with one
# ROW line per measure for bench/perf_table.sh.
# Usage: bench/query_vs_qstat.sh [BUILD_DIR] [RUNS] [SERVERS] [MANY]
set -euo pipefail
build=${1:-build}
runs=${2:-20}
servers=${3:-50}
many=${4:-500}
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

# One simulator per server, 10 ports apart (game port P, status on P+1).
base=$((20000 + RANDOM % 30000))
game=()
query=()
for i in $(seq 0 $((servers - 1))); do
    port=$((base + 10 * i))
    "$sim" --address 127.0.0.1 --port "$port" --seed "$i" --phase-seconds 3600 --fragments 3 \
        >"$workdir/sim$i.log" 2>&1 &
    pids+=($!)
    game+=("127.0.0.1:$port")
    query+=("127.0.0.1:$((port + 1))")
done
# MANY light servers in one more simulator, above the others' ports, two ports each.
many_base=$((base + 10 * servers + 10))
"$sim" --address 127.0.0.1 --port $((many_base + 2 * many + 4)) --browser \
    --browser-port $((many_base + 2 * many + 8)) --browser-no-self --public-sims "$many" \
    --public-base "$many_base" --phase-seconds 3600 --fragments 3 >"$workdir/many.log" 2>&1 &
pids+=($!)
many_game=()
: >"$workdir/many.list"
for i in $(seq 0 $((many - 1))); do
    port=$((many_base + 2 * i))
    many_game+=("127.0.0.1:$port")
    echo "GPS 127.0.0.1:$((port + 1))" >>"$workdir/many.list"
done
for _ in $(seq 200); do
    grep -q 'quillory-sim:' "$workdir/many.log" && break
    sleep 0.1
done
grep -q 'public servers' "$workdir/many.log" || { cat "$workdir/many.log" >&2; exit 1; }

for i in $(seq 0 $((servers - 1))); do
    for _ in $(seq 100); do
        grep -q 'quillory-sim:' "$workdir/sim$i.log" && break
        sleep 0.1
    done
    grep -q 'query port' "$workdir/sim$i.log" || { cat "$workdir/sim$i.log" >&2; exit 1; }
done

# Milliseconds with three decimals of one command; its output goes to $workdir/out. The clock
# is bash's own, read without starting a process, so only the command falls between the reads.
wall_ms() {
    local start end
    start=${EPOCHREALTIME/./}
    "$@" >"$workdir/out" 2>&1 || true
    end=${EPOCHREALTIME/./}
    echo "$(( (end - start) / 1000 )).$(printf '%03d' $(( (end - start) % 1000 )))"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Each command must have answered for every server, or the figure means nothing.
check() {
    local what=$1 want=$2 got
    case $what in
    cli) got=$(grep -c '"status"' "$workdir/out" || true) ;;
    qstat) got=$(grep -c '^127\.0\.0\.1:[0-9]* *[0-9]' "$workdir/out" || true) ;;
    esac
    [[ $got -eq $want ]] || { echo "$what answered $got of $want:" >&2; cat "$workdir/out" >&2; exit 1; }
}

qstat_many=()
for q in "${query[@]}"; do qstat_many+=(-gps "$q"); done

: >"$workdir/one.cli"; : >"$workdir/one.qstat"; : >"$workdir/many.cli"; : >"$workdir/many.qstat"
: >"$workdir/all.cli"; : >"$workdir/all.qstat"
one_cli() { wall_ms "$cli" query --json "${game[0]}" >>"$workdir/one.cli"; check cli 1; }
one_qstat() { wall_ms quakestat -gps "${query[0]}" >>"$workdir/one.qstat"; check qstat 1; }
many_cli() { wall_ms "$cli" query --json "${game[@]}" >>"$workdir/many.cli"; check cli "$servers"; }
many_qstat() { wall_ms quakestat "${qstat_many[@]}" >>"$workdir/many.qstat"; check qstat "$servers"; }
all_cli() { wall_ms "$cli" query --json "${many_game[@]}" >>"$workdir/all.cli"; check cli "$many"; }
all_qstat() { wall_ms quakestat -f "$workdir/many.list" >>"$workdir/all.qstat"; check qstat "$many"; }
# Which tool goes first swaps every run, so that neither always follows the other's traffic.
for run in $(seq 1 "$runs"); do
    if ((run % 2)); then
        one_cli; one_qstat; many_cli; many_qstat; all_cli; all_qstat
    else
        one_qstat; one_cli; many_qstat; many_cli; all_qstat; all_cli
    fi
done

report() {
    local label=$1 ours theirs
    ours=$(median <"$workdir/$2.cli")
    theirs=$(median <"$workdir/$2.qstat")
    printf '%-28s %10s %10s %8s\n' "$label" "$ours" "$theirs" \
        "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2fx", a / b }')"
}
echo "median wall time in ms over $runs runs"
printf '%-28s %10s %10s %8s\n' "" "quillory" "qstat" "ratio"
report "query, 1 server" one
report "query, $servers servers" many
report "query, $many servers (list file)" all

# ROW|measure|quillory|reference|ratio|target
row() {
    local label=$1 ours theirs target=$3
    ours=$(median <"$workdir/$2.cli")
    theirs=$(median <"$workdir/$2.qstat")
    echo "ROW|$label|$ours ms|$theirs ms|$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2fx", a / b }')|$target"
}
row "one query, whole process, beside QStat" one "<= 0.9x"
row "$servers servers in one run, beside QStat" many "<= 0.8x"
row "$many servers from a list, whole process, beside QStat" all "<= 1.0x"
