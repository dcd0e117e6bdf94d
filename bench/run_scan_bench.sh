#!/usr/bin/env bash
# Generates the scan benchmark's game folder under /tmp, runs bench_scan on it once and deletes
# it again. KIND is large (20,000 files up to 4 MB, the default) or small (80,000 files of 1 to
# 8 KB); see gen_scan_tree.sh. Usage: bench/run_scan_bench.sh [BUILD_DIR] [KIND]
# (BUILD_DIR configured with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
kind=${2:-large}
bench="$build/bench/bench_scan"
[[ -x $bench ]] || { echo "missing $bench: build it with -DQUILLORY_BUILD_BENCH=ON" >&2; exit 2; }
tree=$(mktemp -d /tmp/quillory-scan-bench-XXXXXX)
trap 'rm -rf "$tree"' EXIT
echo "generating the $kind game folder in $tree"
"$(dirname "$0")/gen_scan_tree.sh" "$tree/game/" 1 "$kind"
# Written back before the clock starts, so the first runs do not share the disk with it; the
# content stays in the page cache, and the benchmark reads it all once before it measures.
sync -f "$tree/game"
QUILLORY_SCAN_TREE="$tree/game/" "$bench" --benchmark_counters_tabular=true
