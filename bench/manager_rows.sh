#!/usr/bin/env bash
# The Gantry manager's "Advanced" view at 400,000 and 1,000,000 rows: filling it and sorting it by
# each column (bench_manager, medians of 3). The 400k figures are held against the 300 ms budget;
# the 1M figures against 2.5 times the 400k ones, which a linear fill and sort would take.
# Usage: bench/manager_rows.sh [BUILD_DIR]  (Release build with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
[[ -x $build/bench/bench_manager ]] || { echo "missing $build/bench/bench_manager" >&2; exit 2; }
out=$(mktemp /tmp/quillory-manager-rows-XXXXXX)
trap 'rm -f "$out"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/bench_manager" \
    --benchmark_filter='/(400000|1000000)(/|$)' --benchmark_format=csv >"$out" 2>/dev/null
echo "manager fill and sorts (load $(cut -d' ' -f1-3 /proc/loadavg)):"
# Rows as `BM_SortAdvancedView/400000/2/iterations:1/repeats:3_median`, real time in ms.
awk -F, '
    BEGIN { split("File,Status,Path,Size,CRC32", column, ",") }
    $1 ~ /_median"?$/ {
        gsub(/"/, "", $1)
        n = split($1, part, "/")
        rows = part[2]
        what = part[1] == "BM_FillAdvancedView" ? "fill" : "sort by " column[part[3] + 1]
        ms[what, rows] = $3
        cpu[what, rows] = $4
        if (!(what in seen)) { seen[what] = 1; order[++count] = what }
    }
    END {
        for (i = 1; i <= count; ++i) {
            w = order[i]
            a = ms[w, 400000]; b = ms[w, 1000000]
            printf "manager %s: 400k %.0f ms (processor %.0f ms), 1M %.0f ms (processor %.0f ms)\n",
                w, a, cpu[w, 400000], b, cpu[w, 1000000]
            printf "ROW|manager %s, 400k rows|%.0f ms|300 ms|%.2fx|< 1.00x (< 300 ms)\n", w, a, a / 300
            printf "ROW|manager %s, 1M rows|%.0f ms|%.0f ms (2.5 x 400k)|%.2fx|linear (<= 1.10x)\n",
                w, b, 2.5 * a, b / (2.5 * a)
        }
    }' "$out"
