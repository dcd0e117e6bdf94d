#!/usr/bin/env bash
# `quillory-cli gantry scan` as a whole process, side by side with standard tools on generated
# game folders (bench/gen_scan_tree.sh, files of 1 to 8 KB, 100 to a folder):
#   first scan of 80,000 files with no database (list, read and CRC every file, save) beside
#   bench/crc_walker.c (list, read every file, zlib crc32);
#   rescan of an unchanged folder of 20,000, 80,000 and 320,000 files (load the database, list,
#   look up every file, nothing to save) beside `find DIR -printf '%s %T@\n'`.
# The two sides alternate which goes first; the figure is the median wall time of RUNS (5) each.
# Usage: bench/scan_process.sh [BUILD_DIR] [RUNS] [SIZES]   (SIZES: rescan sizes, default
# "20000 80000 320000"; BUILD_DIR configured with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
sizes=${3:-20000 80000 320000}
cli="$build/cli/quillory-cli"
walker="$build/bench/crc_walker"
for tool in "$cli" "$walker"; do
    [[ -x $tool ]] || { echo "missing $tool: build it with -DQUILLORY_BUILD_BENCH=ON" >&2; exit 2; }
done
here=$(dirname "$0")
work=$(mktemp -d /tmp/quillory-scan-process-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Milliseconds of one command, from bash's own clock; a failing command ends the script.
wall_ms() {
    local start end
    start=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>"$work/err" || { echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    end=${EPOCHREALTIME/./}
    echo "$(((end - start) / 1000)).$(printf '%03d' $(((end - start) % 1000)))"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# A game folder of `$2` files in `$1`, with the game's executable, written back to disk and read
# once so that both sides read from the page cache.
make_tree() {
    "$here/gen_scan_tree.sh" "$1" 1 "small:$2" >/dev/null
    : >"$1/IRONVALE.EXE"
    sync -f "$1"
    "$walker" "$1" >/dev/null
}

scan() { "$cli" gantry --game "$1" --data "$2" scan; }
first_scan() { rm -f "$2/quillory.dat"; scan "$1" "$2"; }
find_all() { find "$1" -printf '%s %T@\n'; }

# Runs `$1` and `$2` (functions taking the tree and the data folder) in turns, RUNS times each,
# and prints their medians.
pairs() {
    local ours=$1 theirs=$2 tree=$3 data=$4
    : >"$work/ours"
    : >"$work/theirs"
    for run in $(seq 1 "$runs"); do
        if ((run % 2)); then
            wall_ms "$ours" "$tree" "$data" >>"$work/ours"
            wall_ms "$theirs" "$tree" "$data" >>"$work/theirs"
        else
            wall_ms "$theirs" "$tree" "$data" >>"$work/theirs"
            wall_ms "$ours" "$tree" "$data" >>"$work/ours"
        fi
    done
    echo "$(median <"$work/ours") $(median <"$work/theirs")"
}

walk() { "$walker" "$1"; }

row() {
    local measure=$1 ours=$2 theirs=$3 target=$4
    awk -v m="$measure" -v a="$ours" -v b="$theirs" -v t="$target" \
        'BEGIN { printf "ROW|%s|%.0f ms|%.0f ms|%.2fx|%s\n", m, a, b, a / b, t }' >>"$work/rows"
}

: >"$work/rows"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
mkdir -p "$work/data"
make_tree "$work/game" 80000
read -r ours theirs < <(pairs first_scan walk "$work/game" "$work/data")
echo "first scan, 80,000 files: quillory-cli ${ours} ms, crc_walker ${theirs} ms"
row "first scan, 80k small files, whole process, beside \`crc_walker\`" \
    "$ours" "$theirs" "≤ 1.2x"
rm -rf "$work/game" "$work/data"

for files in $sizes; do
    mkdir -p "$work/data"
    make_tree "$work/game" "$files"
    scan "$work/game" "$work/data" >/dev/null
    read -r ours theirs < <(pairs scan find_all "$work/game" "$work/data")
    echo "rescan, $files files: quillory-cli ${ours} ms, find ${theirs} ms"
    row "rescan of an unchanged tree, $((files / 1000))k files, whole process, beside \`find -printf\`" \
        "$ours" "$theirs" "≤ 1.1x"
    rm -rf "$work/game" "$work/data"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
cat "$work/rows"
