#!/bin/sh
# Makes a 20000 x 20000 JPEG sheet in a temporary folder (or OUT_DIR) and measures how the
# panel opens and shows it against djpeg -scale 1/8 of the same file (see HugeMapBench.cpp).
#
#   bench/maps/huge-map.sh [BUILD_DIR] [OUT_DIR]
set -eu
build=${1:-build}
out=${2:-}
if [ -z "$out" ]; then
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
fi
command -v djpeg >/dev/null || { echo "djpeg is needed (libjpeg-turbo-progs)" >&2; exit 1; }
"$build/tools/make-huge-map" --out "$out" --name huge --width 20000 --height 20000 >/dev/null
"$build/bench/huge_map_bench" "$out/huge.map" --screenshots "$out"
