#!/usr/bin/env bash
# Builds everything, starts the simulated server on loopback and watches it go through a round.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target quillory-cli quillory-sim

port=${QUILLORY_DEMO_PORT:-2302}
log=$(mktemp)
./build/tools/sim/quillory-sim --address 127.0.0.1 --port "$port" --round-seconds 60 --seed 7 \
    >"$log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT
# The simulator prints one line once it listens; wait for it rather than for a fixed time.
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$log" && break
    kill -0 $sim 2>/dev/null || { echo "demo: the simulator did not start" >&2; exit 1; }
    sleep 0.1
done
cat "$log"
./build/cli/quillory-cli query 127.0.0.1:"$port"
echo
./build/cli/quillory-cli watch --duration "${QUILLORY_DEMO_SECONDS:-90}" 127.0.0.1:"$port"
