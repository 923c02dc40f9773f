#!/usr/bin/env bash
# The record compressor on real pictures that nobody here made: sprites, interface art and
# fonts from Debian's game data, and photographs from a Debian wallpaper package. Fetches the
# packages (apt-get download, into a cache folder; nothing is installed but what
# the build needs), converts the chosen pictures to .tga (photographs cropped and scaled to
# 1024x512), builds Release, runs bench/real_picture_bench on them, and prints for each
# picture its record against a plain k-means of the same blocks (bench/kmeans_reference),
# whose centroids are rounded to whole bytes as a record's table holds them; the k-means
# with centroids of any real value is shown beside it.
#
#   bench/real_pictures.sh [--quick]    --quick: one repetition instead of three
#
# PACKSMITH_BENCH_CACHE: where the packages, pictures and k-means results are kept
# (default build-release/real-pictures). The k-means takes a minute or two a photograph; its
# results are kept per picture and reused.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/setup.sh"
packsmith_build_release "$root"
build="$root/build-release"

cache="${PACKSMITH_BENCH_CACHE:-$build/real-pictures}"
mkdir -p "$cache/debs" "$cache/unpacked" "$cache/pictures"
packages=(pingus-data teeworlds-data lbreakout2-data mate-backgrounds)
for package in "${packages[@]}"; do
    if ! ls "$cache/debs/${package}"_*.deb >/dev/null 2>&1; then
        echo "== fetching $package" >&2
        (cd "$cache/debs" && apt-get download "$package" >&2)
    fi
    if [ ! -d "$cache/unpacked/$package" ]; then
        dpkg-deb -x "$cache/debs/${package}"_*.deb "$cache/unpacked/$package"
    fi
done

python=/usr/bin/python3 # Debian's, with Pillow
"$python" "$root/bench/real_pictures.py" convert "$cache/unpacked" "$cache/pictures" >&2

repetitions=3
[ "${1:-}" = "--quick" ] && repetitions=1
results="$cache/results.json"
echo "== real_picture_bench" >&2
PACKSMITH_PICTURES="$cache/pictures" "$build/bin/real_picture_bench" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true --benchmark_out="$results" --benchmark_out_format=json >&2
"$python" "$root/bench/real_pictures.py" kmeans "$cache/pictures" "$cache/kmeans.json" "$build/bin/kmeans_reference" >&2
"$python" "$root/bench/real_pictures.py" report "$results" "$cache/kmeans.json"
