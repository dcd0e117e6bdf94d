#!/usr/bin/env bash
# Start-up of the desktop program to its first painted frame under X (a private Xvfb), beside
# the plain Qt 6 Widgets window bench/minimal_window.cpp doing the same. Both run unchanged with
# bench's first_frame_probe preloaded, which ends them as they send their first image to the X
# server. The program watches the simulator with an empty Gantry database that a scan has
# already made, as every start after the first does. Prints the median of QUILLORY_STARTUP_RUNS runs (default 7) and a ROW line.
# Usage: bench/window_startup.sh [BUILD_DIR]  (Release build with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
runs=${QUILLORY_STARTUP_RUNS:-7}
for program in watch/quillory cli/quillory-cli tools/sim/quillory-sim bench/minimal_window \
    bench/first_frame_probe.so; do
    [[ -e $build/$program ]] || { echo "missing $build/$program" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is needed" >&2; exit 2; }
build=$(cd "$build" && pwd)
work=$(mktemp -d /tmp/quillory-window-startup-XXXXXX)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT

# A display nobody uses, from QUILLORY_BENCH_DISPLAY on.
display=${QUILLORY_BENCH_DISPLAY:-73}
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
export DISPLAY=":$display"

port=$((42000 + RANDOM % 500))
# The news is asked of a loopback port nobody answers on, never of the built-in host.
export QUILLORY_BROWSER=127.0.0.1:$((port + 2))
"$build/tools/sim/quillory-sim" --address 127.0.0.1 --port "$port" --players 16 \
    --round-seconds 20 --phase-seconds 3 >"$work/sim.log" &
pids+=($!)
for _ in $(seq 100); do grep -q 'quillory-sim:' "$work/sim.log" && break; sleep 0.1; done

mkdir -p "$work/game" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
: >"$work/game/IRONVALE.EXE"
printf '\0\1\0\0\0\0\0\0\0\0\0\0\0%s\0' "$work/game/" >"$work/data/quillory.sav"
# A database already there, so that the window opens without its first-run message.
"$build/cli/quillory-cli" gantry --game "$work/game" --data "$work/data" scan >/dev/null

# Microseconds from exec to the first frame of one run of the command given, and the processor
# time the program used until then.
one_run() {
    rm -f "$work/frame"
    local start
    start=$(date +%s%N)
    (cd "$work/data" && FIRST_FRAME_FILE="$work/frame" XDG_RUNTIME_DIR="$work/runtime" \
        LD_PRELOAD="$build/bench/first_frame_probe.so" timeout 60 "$@" >/dev/null 2>&1) || true
    [[ -s $work/frame ]] || { echo "no frame from $1" >&2; exit 1; }
    local frame cpu
    read -r frame cpu <"$work/frame"
    echo "$(((frame - start) / 1000)) $((cpu / 1000))"
}

# Medians in milliseconds with one decimal, wall clock then processor time, after one run that
# warms the page cache.
medians_ms() {
    one_run "$@" >/dev/null
    for _ in $(seq "$runs"); do one_run "$@"; done >"$work/runs"
    local wall cpu
    wall=$(cut -d' ' -f1 "$work/runs" | sort -n | awk '{ v[NR] = $1 } END {
        printf "%.1f", v[int((NR + 1) / 2)] / 1000 }')
    cpu=$(cut -d' ' -f2 "$work/runs" | sort -n | awk '{ v[NR] = $1 } END {
        printf "%.1f", v[int((NR + 1) / 2)] / 1000 }')
    echo "$wall $cpu"
}

read -r quillory quilloryCpu < <(medians_ms "$build/watch/quillory" -connect=127.0.0.1 -port="$port")
read -r minimal minimalCpu < <(medians_ms "$build/bench/minimal_window")
ratio=$(awk -v a="$quillory" -v b="$minimal" 'BEGIN { printf "%.2f", a / b }')
echo "window start-up to first frame: quillory $quillory ms (processor $quilloryCpu ms)," \
    "minimal Qt window $minimal ms (processor $minimalCpu ms); median of $runs;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ROW|window start-up to first painted frame|$quillory ms|$minimal ms|${ratio}x|<= 1.2x"
