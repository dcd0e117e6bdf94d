#!/usr/bin/env bash
# Makes the user guide's pictures again, with small packages, in a temporary folder (the
# committed ones stay as they are) and checks that every picture the guide shows was made and
# holds a drawn window: a sensible size and more than a handful of colours.
# Usage: scripts/check-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

./scripts/screenshots.sh --quick --build "$build" "$out"

mapfile -t shown < <(grep -o 'screenshots/[A-Za-z0-9_-]*\.png' docs/guide.md | sort -u)
if [ ${#shown[@]} -eq 0 ]; then
    echo "check-screenshots: docs/guide.md shows no picture" >&2
    exit 1
fi
failed=0
for path in "${shown[@]}"; do
    name=${path#screenshots/}
    if [ ! -f "docs/screenshots/$name" ]; then
        echo "check-screenshots: docs/screenshots/$name is shown by the guide but not committed" >&2
        failed=1
    fi
    if [ ! -s "$out/$name" ]; then
        echo "check-screenshots: the script made no $name" >&2
        failed=1
        continue
    fi
    read -r width height colours < <(identify -format '%w %h %k\n' "$out/$name")
    if [ "$width" -lt 200 ] || [ "$height" -lt 120 ] || [ "$colours" -lt 16 ]; then
        echo "check-screenshots: $name looks empty (${width}x${height}, $colours colours)" >&2
        failed=1
    else
        echo "check-screenshots: $name ${width}x${height}, $colours colours"
    fi
done
exit $failed
