#!/usr/bin/env bash
# Resident memory of the desktop program (offscreen) with 50 saved servers and a day of player
# history for each, beside the same program with one saved server and no history. The 50 are
# the simulator the window watches and 49 light servers of a second simulator
# (--public-sims), all refreshed by the servers table at its default interval; the history is
# a "quillory.json" of one sample per 20 s over 24 h (4,320 a server). Each run lasts 30 s
# (QUILLORY_MEMORY_SECONDS). Prints the peak (VmHWM) and the last reading of each, whether
# the history was loaded (the window writes it back on closing, the samples kept), and a ROW
# line of the last readings with their difference.
# Usage: bench/servers_memory.sh [BUILD_DIR]  (quillory, quillory-cli, quillory-sim and, from a
# build with -DQUILLORY_BUILD_BENCH=ON, servers_settings built). QUILLORY_BENCH_PORT sets the
# first of the 200 loopback ports used (random by default).
set -euo pipefail
build=${1:-build}
seconds=${QUILLORY_MEMORY_SECONDS:-30}
servers=50
samples=4320
for program in watch/quillory cli/quillory-cli tools/sim/quillory-sim bench/servers_settings; do
    [[ -x $build/$program ]] || { echo "missing $build/$program" >&2; exit 2; }
done
command -v python3 >/dev/null || { echo "python3 is needed to write the history" >&2; exit 2; }
build=$(cd "$build" && pwd)
work=$(mktemp -d /tmp/quillory-servers-memory-XXXXXX)
sims=()
window=
# The window saves on TERM: the folder goes once it and the simulators have ended.
cleanup() {
    local pid
    for pid in $window "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in $window "${sims[@]}"; do
        wait "$pid" 2>/dev/null || true
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# The watched simulator at `base`, the second one's own game server at base+40, its browser at
# base+42 and its light servers from base+100 (game ports two apart, query ports one above).
base=${QUILLORY_BENCH_PORT:-$((20000 + 2 * (RANDOM % 2400)))}
public_base=$((base + 100))

start_sim() {
    local log=$1
    shift
    "$build/tools/sim/quillory-sim" --address 127.0.0.1 "$@" >"$log" 2>&1 &
    sims+=($!)
    for _ in $(seq 100); do grep -q 'quillory-sim:' "$log" && return 0; sleep 0.1; done
    echo "the simulator did not start: $(cat "$log")" >&2
    exit 1
}
start_sim "$work/sim.log" --port "$base" --players 16 --round-seconds 20 --phase-seconds 3
start_sim "$work/public.log" --port $((base + 40)) --browser --browser-port $((base + 42)) \
    --public-sims $((servers - 1)) --public-base "$public_base"
grep -q "$((servers - 1)) public servers" "$work/public.log" || {
    echo "the light servers did not start: $(cat "$work/public.log")" >&2
    exit 1
}

# The window asks the second simulator's browser for its news, never the built-in host.
export QUILLORY_BROWSER=127.0.0.1:$((base + 42))

addresses=("127.0.0.1:$base")
for i in $(seq 0 $((servers - 2))); do addresses+=("127.0.0.1:$((public_base + 2 * i))"); done

# A game folder with its (empty) database, and the saved entries given after the folder.
prepare() {
    local dir=$1
    shift
    mkdir -p "$dir/game" "$dir/data" "$dir/runtime"
    chmod 700 "$dir/runtime"
    : >"$dir/game/IRONVALE.EXE"
    "$build/bench/servers_settings" "$dir/data/quillory.sav" "$dir/game" "$@"
    "$build/cli/quillory-cli" gantry --game "$dir/game" --data "$dir/data" scan >/dev/null
}

# "quillory.json" as the window writes it: one server a line, samples [seconds, players,
# maxPlayers, round mark], oldest first, the newest now.
write_history() {
    python3 - "$1" "$samples" "${@:2}" <<'PY'
import json, sys, time
path, count, addresses = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
now = int(time.time())
lines = []
for n, address in enumerate(addresses):
    track = []
    for k in range(count):
        t = now - 20 * (count - 1 - k)
        players = (k * 7 + n) % 33
        # The newest says 0 slots, which no reply does: a reply during the run replaces it.
        track.append([t, players, 32 if k < count - 1 else 0, 1 if k % 90 == 0 else 0])
    lines.append("  " + json.dumps(address) + ": " + json.dumps(track, separators=(",", ":")))
with open(path, "w") as f:
    f.write('{\n "version": 1,\n "history": {\n' + ",\n".join(lines) + "\n }\n}\n")
PY
}

# Servers of `1` (a written quillory.json) with at least `samples` samples, and those heard from
# during the run: a sample newer than `2` or the newest one's slots replaced.
count_history() {
    python3 - "$1" "$2" "$samples" <<'PY'
import json, sys
history = json.load(open(sys.argv[1])).get("history", {})
written, count = int(sys.argv[2]), int(sys.argv[3])
kept = sum(1 for s in history.values() if len(s) >= count)
heard = sum(1 for s in history.values() if s and (s[-1][0] > written or s[-1][2] != 0))
print(kept, heard)
PY
}

# Runs the window in `1` for the time given; sets `last` and `peak` (kB).
measure() {
    local name=$1 dir=$2
    (cd "$dir/data" && QT_QPA_PLATFORM=offscreen TMPDIR="$dir" XDG_RUNTIME_DIR="$dir/runtime" \
        exec "$build/watch/quillory" -connect=127.0.0.1 -port="$base") 2>/dev/null &
    local pid=$!
    window=$pid
    last=0
    for _ in $(seq "$seconds"); do
        sleep 1
        last=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    done
    peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill -TERM $pid
    wait $pid || true
    window=
    awk -v name="$name" -v peak="$peak" -v last="$last" -v s="$seconds" 'BEGIN {
        printf "%-34s peak %6.1f MB  after %d s %6.1f MB\n", name, peak / 1024, s, last / 1024 }'
}

prepare "$work/one" "${addresses[0]}"
prepare "$work/many" "${addresses[@]}"

measure "1 entry, no history" "$work/one"
one=$last
# Written just before the run, so that none of its day is older than a day at loading.
write_history "$work/many/data/quillory.json" "${addresses[@]}"
written=$(date +%s)
history_bytes=$(stat -c %s "$work/many/data/quillory.json")
measure "$servers entries, 24 h history" "$work/many"
many=$last
read -r kept heard < <(count_history "$work/many/data/quillory.json" "$written")
echo "quillory.json of $history_bytes bytes; written back on closing with $kept of $servers" \
    "servers holding their $samples samples, $heard heard from during the run"
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
# No server heard from: the file is the one written above, not the window's.
((heard > 0)) || { echo "the window did not write the history back" >&2; exit 1; }
((kept == servers)) || { echo "the history was not loaded whole" >&2; exit 1; }
((heard == servers)) || echo "only $heard of the $servers servers replied" >&2
awk -v one="$one" -v many="$many" -v n="$servers" 'BEGIN {
    printf "ROW|window memory, %d entries and 24 h history, beside one entry|%.1f MB|%.1f MB|" \
        "%+.1f MB|≤ +10 MB\n", n, many / 1024, one / 1024, (many - one) / 1024 }'
