#!/usr/bin/env bash
# Pictures of the Gantry manager for the README's guide: the simulator offers three packages,
# the manager opens on the server view with the missing ones flagged, "Download && Install"
# fetches and installs them (the download dialog is taken mid-run), then the three views.
# Runs under Xvfb when there is no display. Usage: scripts/screenshots.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target quillory-sim quillory-gantry-shots

port=${QUILLORY_SHOTS_PORT:-2502}
http_port=$((port + 45))
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# Three packages, made here from small made-up files; large enough for the bars to move.
mkdir -p "$work/packages"
for pack in "Vale Bridges:valebridges" "Lantern Isles:lanternisles" "Marrow Keep:marrowkeep"; do
    name=${pack%%:*}
    file=${pack##*:}
    mkdir -p "$work/src/$file/AddOns"
    head -c 40000000 /dev/urandom >"$work/src/$file/AddOns/$file.pbo"
    printf 'readme of %s\n' "$name" >"$work/src/$file/AddOns/$file.txt"
    (cd "$work/src/$file" && zip -q -0 -r "$work/packages/$file.zip" .)
done

./build/tools/sim/quillory-sim --address 127.0.0.1 --port "$port" --name "Shots server" \
    --gantry "$work/packages" --http-port "$http_port" >"$work/sim.log" &
sim=$!
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$work/sim.log" && break
    kill -0 $sim 2>/dev/null || { echo "screenshots: the simulator did not start" >&2; exit 1; }
    sleep 0.1
done

mkdir -p "$work/data" "$work/game/AddOns" "$out"
: >"$work/game/IRONVALE.EXE"
printf 'a map of our own\n' >"$work/game/AddOns/ownmap.pbo"
shots=(./build/gantry/ui/shots/quillory-gantry-shots --game "$work/game" --data "$work/data"
    --server "127.0.0.1:$port" --out "$out")
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s '-screen 0 1280x900x24' "${shots[@]}"
else
    "${shots[@]}"
fi
echo "screenshots: in $out"
