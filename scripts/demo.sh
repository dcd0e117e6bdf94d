#!/usr/bin/env bash
# Builds everything, starts the simulated server on loopback and watches it go through a round.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target quillory-cli quillory-sim

port=${QUILLORY_DEMO_PORT:-2302}
./build/tools/sim/quillory-sim --address 127.0.0.1 --port "$port" --round-seconds 60 --seed 7 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
sleep 0.5
./build/cli/quillory-cli query 127.0.0.1:"$port"
echo
./build/cli/quillory-cli watch --duration "${QUILLORY_DEMO_SECONDS:-90}" 127.0.0.1:"$port"
