#!/usr/bin/env bash
# A `quillory-cli gantry sync` of one large archive from the local simulator, whose package
# host drops the connection after half the archive on the first request: the download resumes
# and installs. Prints the body bytes the host sent against the archive's size, and the wall
# time. Usage: bench/resume_download.sh [BUILD_DIR] [MEGABYTES]   (default 200)
set -euo pipefail
build=${1:-build}
megabytes=${2:-200}
sim="$build/tools/sim/quillory-sim"
cli="$build/cli/quillory-cli"
for tool in "$sim" "$cli"; do
    [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 2; }
done
work=$(mktemp -d)
simpid=
trap '[[ -n $simpid ]] && kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/packages" "$work/game" "$work/data"
echo exe >"$work/game/IRONVALE.EXE"
# Stored noise, so that the archive is as large as asked.
python3 - "$work/packages/big.zip" "$megabytes" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    with z.open("big.pbo", "w", force_zip64=True) as f:
        for _ in range(int(sys.argv[2])):
            f.write(os.urandom(1 << 20))
PY
size=$(stat -c %s "$work/packages/big.zip")
port=$((30000 + RANDOM % 20000))
"$sim" --address 127.0.0.1 --port "$port" --gantry "$work/packages" --http-port $((port + 100)) \
    --http-cut-once big.zip >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$work/sim.out" && break
    sleep 0.1
done
start=$(date +%s%N)
"$cli" gantry --game "$work/game" --data "$work/data" sync "127.0.0.1:$port" >"$work/sync.out" ||
    { echo "sync failed:" >&2; tail -3 "$work/sync.out" >&2; exit 1; }
end=$(date +%s%N)
kill -TERM $simpid
wait $simpid || true
simpid=
sent=$(sed -n 's/.*package host: sent \([0-9]*\) body bytes.*/\1/p' "$work/sim.out")
cmp -s <(unzip -p "$work/packages/big.zip" big.pbo) "$work/game/addons/big.pbo" ||
    { echo "the installed file differs" >&2; exit 1; }
echo "archive:        $size bytes"
echo "sent by host:   $sent bytes ($(awk -v s="$sent" -v a="$size" 'BEGIN { printf "%.1f", 100 * s / a }') % of the archive)"
echo "sync wall time: $(( (end - start) / 1000000 )) ms"
