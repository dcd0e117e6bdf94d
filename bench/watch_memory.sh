#!/usr/bin/env bash
# Resident memory of the desktop program watching the simulator for 30 s (offscreen): once with
# an empty Gantry database and once with a database of about 100,000 nodes that it loads and
# checks against a game folder of as many files. Beside it the plain Qt 6 Widgets window
# bench/minimal_window.cpp runs as long. Prints the peak (VmHWM) and the last reading, and ROW
# lines of the last readings.
# Usage: bench/watch_memory.sh [BUILD_DIR]  (quillory, quillory-cli, quillory-sim and, from a
# build with -DQUILLORY_BUILD_BENCH=ON, minimal_window built)
set -euo pipefail
build=${1:-build}
seconds=${QUILLORY_MEMORY_SECONDS:-30}
for program in watch/quillory cli/quillory-cli tools/sim/quillory-sim bench/minimal_window; do
    [[ -x $build/$program ]] || { echo "missing $build/$program" >&2; exit 2; }
done
build=$(cd "$build" && pwd)
work=$(mktemp -d /tmp/quillory-watch-memory-XXXXXX)
sim=
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
port=$((20000 + RANDOM % 5000))
# The news is asked of a loopback port nobody answers on, never of the built-in host.
export QUILLORY_BROWSER=127.0.0.1:$((port + 2))

"$build/tools/sim/quillory-sim" --address 127.0.0.1 --port "$port" --players 16 \
    --round-seconds 20 --phase-seconds 3 >"$work/sim.log" &
sim=$!
for _ in $(seq 100); do grep -q 'quillory-sim:' "$work/sim.log" && break; sleep 0.1; done

# Lays out a game folder with `$2` top folders of 10 folders of 98 files each (empty files: the
# database holds a node per file whatever its size), builds its database and the settings.
prepare() {
    local dir=$1 tops=$2
    mkdir -p "$dir/game" "$dir/data"
    : >"$dir/game/IRONVALE.EXE"
    if ((tops > 0)); then
        for t in $(seq 0 $((tops - 1))); do
            for s in $(seq 0 9); do
                mkdir -p "$dir/game/@mod$t/addons$s"
                (cd "$dir/game/@mod$t/addons$s" && seq -f 'texture_%g.paa' 0 97 | xargs touch)
            done
        done
    fi
    printf '\0\1\0\0\0\0\0\0\0\0\0\0\0%s\0' "$dir/game/" >"$dir/data/quillory.sav"
    "$build/cli/quillory-cli" gantry --game "$dir/game" --data "$dir/data" scan >/dev/null
}

# Runs the command after the name and the folder for the time given; sets `last` (kB).
measure() {
    local name=$1 dir=$2
    shift 2
    mkdir -p "$dir/runtime" && chmod 700 "$dir/runtime"
    (cd "$dir/data" && QT_QPA_PLATFORM=offscreen TMPDIR="$dir" XDG_RUNTIME_DIR="$dir/runtime" \
        exec "$@") 2>/dev/null &
    local pid=$!
    last=0
    for _ in $(seq "$seconds"); do
        sleep 1
        last=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    done
    local peak
    peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill -TERM $pid
    wait $pid || true # the minimal window dies of the signal
    local nodes
    nodes=$(find "$dir/game" | wc -l)
    awk -v name="$name" -v nodes="$nodes" -v peak="$peak" -v last="$last" -v s="$seconds" \
        -v dat="$(stat -c %s "$dir/data/quillory.dat")" 'BEGIN {
        printf "%-22s %7d nodes  peak %6.1f MB  after %d s %6.1f MB  quillory.dat %d bytes\n",
            name, nodes, peak / 1024, s, last / 1024, dat }'
}

# A ROW line of the table: quillory's reading beside the minimal window's.
row() {
    awk -v what="$1" -v a="$2" -v b="$3" -v target="$4" 'BEGIN {
        printf "ROW|%s|%.1f MB|%.1f MB|%.2fx|%s\n", what, a / 1024, b / 1024, a / b, target }'
}

watch=("$build/watch/quillory" -connect=127.0.0.1 -port="$port")
prepare "$work/empty" 0
prepare "$work/big" 102
measure "empty database" "$work/empty" "${watch[@]}"
empty=$last
measure "100,000-node database" "$work/big" "${watch[@]}"
big=$last
measure "minimal Qt window" "$work/empty" "$build/bench/minimal_window"
minimal=$last
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
row "window memory after $seconds s watching, empty database" "$empty" "$minimal" "<= 1.25x"
row "window memory after $seconds s watching, 100k nodes" "$big" "$minimal" "<= 2.0x"
