#!/usr/bin/env bash
# Pictures for the user guide, made against the simulator: the main window mid-round, the
# table of saved servers with the players plot and a friend's arrival, the Gantry server
# browser, the Gantry manager's three views (before and after a download) and
# the download dialog taken mid-run. One run makes them all, so they can be made again after
# any change.
#
# Usage: scripts/screenshots.sh [--quick] [--build DIR] [OUT_DIR]
#   OUT_DIR   where the pictures go (default docs/screenshots)
#   --quick   small packages and no pause mid-round: for the test command, which checks the
#             pictures in a temporary folder
#   --build   an existing build folder to use (default build, configured and built here)
#
# Needs no display of its own: with QT_QPA_PLATFORM=offscreen the windows are drawn off
# screen, otherwise without DISPLAY they run under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
build=build
out=docs/screenshots
while [ $# -gt 0 ]; do
    case $1 in
    --quick) quick=1 ;;
    --build) build=$2; shift ;;
    -*) echo "usage: scripts/screenshots.sh [--quick] [--build DIR] [OUT_DIR]" >&2; exit 2 ;;
    *) out=$1 ;;
    esac
    shift
done
out=$(realpath -m "$out")
if [ "$build" = build ]; then
    cmake -S . -B build -G Ninja >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target quillory-sim quillory-cli quillory-gantry-shots \
    quillory-watch-shots >/dev/null

port=${QUILLORY_SHOTS_PORT:-2502}
http_port=$((port + 45))
browser_port=$((port + 46))
work=$(mktemp -d)
sim=
sim2=
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; [ -n "$sim2" ] && kill $sim2 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# Three packages made here from made-up files. The host sends slowly enough that the
# download dialog shows a measured rate mid-run.
if [ $quick = 1 ]; then
    sizes=(1300000 1200000 1100000) rate=1000000 pause=0
else
    sizes=(14000000 9000000 6000000) rate=5000000 pause=${QUILLORY_SHOTS_PAUSE:-10}
fi
mkdir -p "$work/packages"
i=0
for file in valebridges lanternisles marrowkeep; do
    mkdir -p "$work/src/$file/AddOns"
    head -c "${sizes[$i]}" /dev/urandom >"$work/src/$file/AddOns/$file.pbo"
    printf 'readme of %s\n' "$file" >"$work/src/$file/AddOns/$file.txt"
    (cd "$work/src/$file" && zip -q -0 -r "$work/packages/$file.zip" .)
    i=$((i + 1))
done
cat >"$work/packages/offer.ini" <<'OFFER'
name = Valehold Coop
info = Co-op campaigns every evening, 20:00 UTC
admin = marrow@valehold.example
teamspeak = 127.0.0.1:9987
[valebridges.zip]
priority = 10
[lanternisles.zip]
priority = 5
[marrowkeep.zip]
priority = 3
OFFER
# An upgrade archive, which the news offers (the Link button blinks).
mkdir -p "$work/upgrade"
# It is not signed with the project's key: pressing the button ends in "Error: signature".
printf 'upgrade stand-in\n' >"$work/upgrade/readme.txt"
(cd "$work/upgrade" && zip -q quillory.ozp readme.txt)

"$build/tools/sim/quillory-sim" --address 127.0.0.1 --port "$port" --round-seconds 1200 \
    --phase-seconds 2 --seed 7 --players 9 --max-players 16 \
    --name "Dedicated server on Valehold" --mission "The Siege of Marrowby" \
    --gantry "$work/packages" --http-port "$http_port" --http-rate "$rate" \
    --game-type ironvalu --browser --browser-port "$browser_port" \
    --news "Welcome to Valehold! Quillory 0.97 is out: press the blinking button to upgrade." \
    --news-link "Upgrade to 0.97" --upgrade-archive "$work/upgrade/quillory.ozp" \
    --browser-no-self --public "Valehold@127.0.0.1:$port:9:1" \
    --public "Marrowby Keep@127.120.30.40:2302:11:1" --public "Lantern Isles Coop@127.120.30.41:2402:6:1" \
    --public "Old Vale@127.120.30.42:2302:3:0" \
    --public-sims 14 --public-silent 2 --public-base $((port + 100)) >"$work/sim.log" &
sim=$!
# A second server for the table of saved servers; a third entry (Old Vale) never answers.
second_port=$((port + 300))
# The friend whose arrival the table's picture shows joins the second server a little later.
friend=Marlowe
silent_port=$((port + 200))
"$build/tools/sim/quillory-sim" --address 127.0.0.1 --port "$second_port" --round-seconds 1500 \
    --phase-seconds 2 --seed 11 --players 5 --max-players 12 \
    --name "Lantern Isles Coop" --mission "Lanterns over the Bay" \
    --player-joins "$friend@4" >"$work/sim2.log" &
sim2=$!
# The simulators print one line once they listen; wait for it rather than for a fixed time.
for log in sim sim2; do
    for _ in $(seq 100); do
        grep -q 'quillory-sim:' "$work/$log.log" && break
        kill -0 $sim 2>/dev/null && kill -0 $sim2 2>/dev/null ||
            { echo "screenshots: the simulator did not start" >&2; exit 1; }
        sleep 0.1
    done
done

# Each window gets a game folder and a data folder of its own.
make_game() {
    mkdir -p "$1/game/AddOns" "$1/data"
    : >"$1/game/IRONVALE.EXE"
    printf 'a map of our own\n' >"$1/game/AddOns/ownmap.pbo"
}
make_game "$work/watch"
make_game "$work/gantry"
# Settings of an older version naming only the game folder; the database exists already, so
# the window opens without its first-run message.
printf '\0\1\0\0\0\0\0\0\0\0\0\0\0%s\0' "$work/watch/game/" >"$work/watch/data/quillory.sav"
"$build/cli/quillory-cli" gantry --game "$work/watch/game" --data "$work/watch/data" scan >/dev/null

mkdir -p "$out"
cat >"$work/shots.sh" <<SHOTS
set -e
"$build/watch/shots/quillory-watch-shots" --data "$work/watch/data" \
    --browser "127.0.0.1:$browser_port" --out "$out" --seconds $pause \
    --table "Lantern Isles Coop@127.0.0.1:$second_port,Old Vale@127.0.0.1:$silent_port" \
    --friend "$friend" -connect=127.0.0.1 -port=$port -password=coop -mod=@valeworks
"$build/gantry/ui/shots/quillory-gantry-shots" --game "$work/gantry/game" \
    --data "$work/gantry/data" --server "127.0.0.1:$port" --out "$out"
SHOTS
if [ "${QT_QPA_PLATFORM:-}" = offscreen ] || [ -n "${DISPLAY:-}" ]; then
    bash "$work/shots.sh"
else
    xvfb-run -a -s '-screen 0 1280x900x24' bash "$work/shots.sh"
fi
# Windows drawn with a few hundred colours lose nothing visible in a palette of 256, and the
# pictures shrink to a quarter. The bytes can still hold a chance run such as "@@", in the
# compressed pixels (another level is tried) or in the palette as the grey 64 (turned into 65,
# which nobody sees), so a search of the docs for a placeholder text finds only real ones.
palette() {
    for quality in 95 94 96 93 97 92 85 75; do
        convert "$1" -strip -quality "$quality" "PNG8:$2"
        grep -q '@@' "$2" || return 0
    done
}
for picture in "$out"/*.png; do
    original="$picture.orig"
    cp "$picture" "$original"
    palette "$original" "$picture"
    if grep -q '@@' "$picture"; then
        convert "$original" -channel RGB -fx 'abs(u*255-64)<0.5 ? 65/255 : u' "$original"
        palette "$original" "$picture"
    fi
    rm -f "$original"
    if grep -q '@@' "$picture"; then
        echo "screenshots: $picture holds \"@@\" at every compression level" >&2
        exit 1
    fi
done
echo "screenshots: in $out"
