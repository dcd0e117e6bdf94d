#!/usr/bin/env bash
# Runs every side-by-side benchmark script once, in turn, collects the ROW lines they end with
# (ROW|measure|quillory|reference|ratio|target) and prints them as one markdown table with the
# command that gave each row. A script that is not there, fails or prints no row is said so
# under the table. The whole run is bounded to 15 minutes (QUILLORY_TABLE_SECONDS): a script
# still running when the time is up is stopped and said so.
# Usage: bench/perf_table.sh BUILD_DIR   (a Release build with -DQUILLORY_BUILD_BENCH=ON, every
# program built: `ninja -C BUILD_DIR`)
set -uo pipefail
build=${1:?usage: bench/perf_table.sh BUILD_DIR}
budget=${QUILLORY_TABLE_SECONDS:-900}
here=$(cd "$(dirname "$0")" && pwd)
[[ -d $build ]] || { echo "no build folder $build" >&2; exit 2; }
build=$(cd "$build" && pwd)
work=$(mktemp -d /tmp/quillory-perf-table-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The scripts in the order they run, each with its arguments after BUILD_DIR: fewer runs than
# their defaults where that keeps the whole table within its time. Any other script here that
# prints ROW lines runs after them with BUILD_DIR alone.
scripts=(
    "db_load.sh 7"
    "scan_process.sh 5"
    "window_startup.sh"
    "watch_memory.sh"
    "servers_memory.sh"
    "query_vs_qstat.sh 20 50"
)
for script in "$here"/*.sh; do
    name=$(basename "$script")
    [[ $name == perf_table.sh ]] && continue
    grep -q 'ROW|' "$script" || continue
    listed=false
    for entry in "${scripts[@]}"; do [[ ${entry%% *} == "$name" ]] && listed=true; done
    $listed || scripts+=("$name")
done

start=$SECONDS
: >"$work/rows"
: >"$work/notes"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/notes"
for entry in "${scripts[@]}"; do
    read -r name args <<<"$entry"
    script="$here/$name"
    command="bench/$name BUILD_DIR${args:+ $args}"
    if [[ ! -x $script ]]; then
        echo "skipped: bench/$name is not there yet" >>"$work/notes"
        continue
    fi
    left=$((budget - (SECONDS - start)))
    if ((left <= 0)); then
        echo "skipped: bench/$name, the table's $budget s were used up" >>"$work/notes"
        continue
    fi
    echo "running $command (at most ${left} s)" >&2
    # TERM reaches the whole group; a script then has a minute to remove its files.
    # shellcheck disable=SC2086 # the arguments are words of the table above
    timeout --kill-after=60 "$left" "$script" "$build" $args >"$work/out" 2>"$work/err"
    status=$?
    grep '^ROW|' "$work/out" | while IFS='|' read -r _ measure ours theirs ratio target; do
        echo "| $measure | $ours | $theirs | $ratio | $target | \`$command\` |" >>"$work/rows"
    done
    if ((status == 124 || status == 137)); then
        echo "stopped: $command ran out of the table's time" >>"$work/notes"
    elif ((status != 0)); then
        echo "failed: $command (exit $status): $(tail -n 3 "$work/err" | tr '\n' ' ')" >>"$work/notes"
    elif ! grep -q '^ROW|' "$work/out"; then
        echo "no rows: $command printed none" >>"$work/notes"
    fi
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); $((SECONDS - start)) s in all" \
    >>"$work/notes"

echo "| measure | Quillory | reference | ratio | target | command |"
echo "|---|---|---|---|---|---|"
cat "$work/rows"
echo
cat "$work/notes"
