#!/usr/bin/env bash
# Lays out a game folder for the scan benchmark. The same seed gives the same sizes.
#   large (default): 20,000 files in 500 folders (under 20 mod folders), sizes from 1 KB to 4 MB
#                    skewed towards small ones, about 2 GB in all.
#   small:           80,000 files of 1 to 8 KB in 800 folders (under 20 mod folders), about
#                    360 MB in all: the cost per file rather than per byte.
#   small:N          N files of 1 to 8 KB, 100 to a folder (N a multiple of 2,000).
# Usage: bench/gen_scan_tree.sh DIR [SEED] [large|small|small:N]
set -euo pipefail
dir=${1:?usage: gen_scan_tree.sh DIR [SEED] [large|small|small:N]}
seed=${2:-1}
kind=${3:-large}
mkdir -p "$dir"
# One block of random bytes; every file is a prefix of it, which the scanner cannot tell.
block="$dir/.block"
head -c $((4 * 1024 * 1024)) /dev/urandom >"$block"

case $kind in
large)
    files=20000 subs=25
    # size = 1 KB * 2^(12 u^5): mean about 110 KB, largest 4 MB.
    sizes='int(1024 * 2 ^ (12 * u ^ 5))' ;;
small | small:*)
    files=80000
    [[ $kind == small:* ]] && files=${kind#small:}
    if ! [[ $files =~ ^[0-9]+$ ]] || ((files < 2000 || files % 2000 != 0)); then
        echo "small:N takes a multiple of 2,000" >&2
        exit 2
    fi
    subs=$((files / 2000))
    sizes='1024 + int(7169 * u)' ;;
*)
    echo "unknown kind $kind (large, small or small:N)" >&2
    exit 2 ;;
esac

# Folder numbers have as many digits as the largest needs, at least two.
last=$((subs - 1))
width=$((${#last} < 2 ? 2 : ${#last}))
awk -v seed="$seed" -v files="$files" -v subs="$subs" -v width="$width" 'BEGIN {
    srand(seed)
    for (i = 0; i < files; i++) {
        folder = i % (20 * subs)
        u = rand()
        size = '"$sizes"'
        printf "@mod%02d/addons%0" width "d/file%05d.pbo %d\n", int(folder / subs), folder % subs, i, size
    }
}' >"$dir/.sizes"
for top in $(seq -w 0 19); do
    for sub in $(seq -f "%0${width}g" 0 "$last"); do
        echo "$dir/@mod$top/addons$sub"
    done
done | xargs mkdir -p
# One process writes every file: starting one per file would take longer than the scan.
perl -e '
    my ($dir, $block) = @ARGV;
    open(my $in, "<:raw", $block) or die "$block: $!";
    my $bytes = do { local $/; <$in> };
    open(my $list, "<", "$dir/.sizes") or die "$dir/.sizes: $!";
    while (my $line = <$list>) {
        my ($path, $size) = split " ", $line;
        open(my $out, ">:raw", "$dir/$path") or die "$dir/$path: $!";
        print $out substr($bytes, 0, $size);
        close($out) or die "$dir/$path: $!";
    }
' "$dir" "$block"
rm -f "$dir/.sizes" "$block"
du -sh "$dir" | cut -f1
