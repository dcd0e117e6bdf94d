#!/usr/bin/env bash
# Builds everything, starts the simulated server on loopback (with its Gantry server, a few
# packages and the browser server's news and public servers), shows the desktop program
# watching it and saves a screenshot of its window,
# then watches the rest of the round from the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target quillory quillory-cli quillory-sim

port=${QUILLORY_DEMO_PORT:-2302}
http_port=${QUILLORY_DEMO_HTTP_PORT:-$((port + 45))}
browser_port=${QUILLORY_DEMO_BROWSER_PORT:-$((port + 46))}
shot=${QUILLORY_DEMO_SHOT:-$PWD/demo-window.png}
work=$(mktemp -d)
log=$work/sim.log
sim=
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# A few packages for the Gantry server to offer, zipped here from small made-up files.
mkdir -p "$work/packages" "$work/src/Vale Bridges/AddOns" "$work/src/Lantern Isles/AddOns"
printf 'bridges of the vale\n' >"$work/src/Vale Bridges/AddOns/valebridges.pbo"
printf 'lantern isles map\n' >"$work/src/Lantern Isles/AddOns/lanternisles.pbo"
(cd "$work/src/Vale Bridges" && zip -qr "$work/packages/valebridges.zip" .)
(cd "$work/src/Lantern Isles" && zip -qr "$work/packages/lanternisles.zip" .)
# An upgrade archive, which the browser server's news offers (the Link button blinks).
mkdir -p "$work/upgrade"
# It is not signed with the project's key: pressing the button ends in "Error: signature".
printf 'upgrade stand-in\n' >"$work/upgrade/readme.txt"
(cd "$work/upgrade" && zip -q quillory.ozp readme.txt)

./build/tools/sim/quillory-sim --address 127.0.0.1 --port "$port" --round-seconds 60 \
    --phase-seconds 4 --seed 7 --players 6 --name "Dedicated server on Valehold" \
    --mission "The Siege of Marrowby" --gantry "$work/packages" --http-port "$http_port" \
    --game-type ironvalu --browser --browser-port "$browser_port" \
    --news "Welcome to Valehold! Quillory 0.97 is out: press the blinking button to upgrade." \
    --news-link "Upgrade to 0.97" --upgrade-archive "$work/upgrade/quillory.ozp" \
    --public "Marrowby Keep@127.120.30.40:2302:11:1" --public "Old Vale@127.120.30.41:2302:3:0" \
    >"$log" &
sim=$!
# The simulator prints one line once it listens; wait for it rather than for a fixed time.
for _ in $(seq 100); do
    grep -q 'quillory-sim:' "$log" && break
    kill -0 $sim 2>/dev/null || { echo "demo: the simulator did not start" >&2; exit 1; }
    sleep 0.1
done
cat "$log"

# The desktop program in a folder of its own, with a small game folder, watching the round.
mkdir -p "$work/data" "$work/game/AddOns"
: >"$work/game/IRONVALE.EXE"
# Settings of an older version naming only the game folder; the program writes version 2.
printf '\0\1\0\0\0\0\0\0\0\0\0\0\0%s\0' "$work/game/" >"$work/data/quillory.sav"
# The database exists already, so the window opens without its first-run message.
./build/cli/quillory-cli gantry --game "$work/game" --data "$work/data" scan >/dev/null
# Runs the window for a while, takes a picture of the screen and closes it with SIGTERM.
cat >"$work/window.sh" <<WINDOW
cd "$work/data"
export QUILLORY_BROWSER=127.0.0.1:$browser_port
"$PWD/build/watch/quillory" -connect=127.0.0.1 -port=$port -password=pw -mod=@x &
pid=\$!
sleep ${QUILLORY_DEMO_WINDOW_SECONDS:-12}
import -window root "$work/screen.png"
kill -TERM \$pid
wait \$pid
WINDOW
if [ -z "${DISPLAY:-}" ]; then
    echo "demo: no display, running the window under Xvfb"
    xvfb-run -a -s '-screen 0 1280x900x24' bash "$work/window.sh"
else
    bash "$work/window.sh"
fi
convert "$work/screen.png" -trim +repage "$shot"
echo "demo: the window mid-round is in $shot"

echo
./build/cli/quillory-cli news 127.0.0.1:"$browser_port"
echo
./build/cli/quillory-cli servers 127.0.0.1:"$browser_port"
echo
./build/cli/quillory-cli query 127.0.0.1:"$port"
echo
./build/cli/quillory-cli watch --duration "${QUILLORY_DEMO_SECONDS:-90}" 127.0.0.1:"$port"
