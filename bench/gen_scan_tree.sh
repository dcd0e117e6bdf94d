#!/usr/bin/env bash
# Lays out a game folder for the scan benchmark: 20,000 files in 500 folders (under 20 mod
# folders), sizes from 1 KB to 4 MB skewed towards small ones, about 2 GB in all. The same seed
# gives the same sizes. Usage: bench/gen_scan_tree.sh DIR [SEED]
set -euo pipefail
dir=${1:?usage: gen_scan_tree.sh DIR [SEED]}
seed=${2:-1}
mkdir -p "$dir"
# One block of random bytes; every file is a prefix of it, which the scanner cannot tell.
block="$dir/.block"
head -c $((4 * 1024 * 1024)) /dev/urandom >"$block"

# size = 1 KB * 2^(12 u^5): mean about 110 KB, largest 4 MB.
awk -v seed="$seed" 'BEGIN {
    srand(seed)
    for (i = 0; i < 20000; i++) {
        folder = i % 500
        u = rand()
        size = int(1024 * 2 ^ (12 * u ^ 5))
        printf "@mod%02d/addons%02d/file%05d.pbo %d\n", int(folder / 25), folder % 25, i, size
    }
}' >"$dir/.sizes"
for top in $(seq -w 0 19); do
    for sub in $(seq -w 0 24); do
        echo "$dir/@mod$top/addons$sub"
    done
done | xargs mkdir -p
while read -r path size; do
    head -c "$size" "$block" >"$dir/$path"
done <"$dir/.sizes"
rm -f "$dir/.sizes"
rm -f "$block"
du -sh "$dir" | cut -f1
