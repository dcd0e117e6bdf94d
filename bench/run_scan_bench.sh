#!/usr/bin/env bash
# Generates the scan benchmark's game folder under /tmp, runs bench_scan on it once and deletes
# it again. Usage: bench/run_scan_bench.sh [BUILD_DIR]  (configured with -DQUILLORY_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench_scan"
[[ -x $bench ]] || { echo "missing $bench: build it with -DQUILLORY_BUILD_BENCH=ON" >&2; exit 2; }
tree=$(mktemp -d /tmp/quillory-scan-bench-XXXXXX)
trap 'rm -rf "$tree"' EXIT
echo "generating the game folder in $tree"
"$(dirname "$0")/gen_scan_tree.sh" "$tree/game/"
QUILLORY_SCAN_TREE="$tree/game/" "$bench" --benchmark_counters_tabular=true
