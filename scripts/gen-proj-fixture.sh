#!/usr/bin/env bash
# Regenerates tests/data/maps/proj_reference.csv: grid coordinates and the latitude and
# longitude that PROJ (Debian's proj-bin, exact Transverse Mercator) gives for them, for the
# inverse Transverse Mercator and UTM tests. Positions lie on a grid of latitudes and of
# longitudes 0 to 9 degrees from the central meridian on both sides.
#   tm,<datum>,<lat0>,<lon0>,<k0>,<FE>,<FN>,<easting>,<northing>,<lat>,<lon>
#   utm,<zone>,<letter>,<easting>,<northing>,<lat>,<lon>
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data/maps/proj_reference.csv
command -v proj >/dev/null && command -v invproj >/dev/null ||
    { echo "proj-bin is needed (apt-get install proj-bin)" >&2; exit 1; }

offsets="0 0.25 -0.5 1 -1.5 2 -2.5 3 -3.5 4.5 -6 9"

# points <lon0> <lat list>: "lon lat" lines around the central meridian
points() {
    local lon0=$1; shift
    for lat in "$@"; do
        for d in $offsets; do
            echo "$(echo "$lon0 + $d" | bc -l) $lat"
        done
    done
}

# reference <prefix> <lon0> <lats> -- <proj args>: forward to grid (printed to 0.1 mm), then
# the latitude and longitude PROJ's inverse gives for exactly those printed grid values.
reference() {
    local prefix=$1 lon0=$2 lats=$3; shift 4
    points "$lon0" $lats | proj -f "%.4f" "$@" +units=m |
        while read -r e n; do
            ll=$(echo "$e $n" | invproj -f "%.12f" "$@" +units=m)
            read -r lon lat <<<"$ll"
            echo "$prefix,$e,$n,$lat,$lon"
        done
}

tm() { # <datum> <a> <rf> <lat0> <lon0> <k0> <FE> <FN> <lats>
    reference "tm,$1,$4,$5,$6,$7,$8" "$5" "$9" -- \
        +proj=tmerc +lat_0="$4" +lon_0="$5" +k="$6" +x_0="$7" +y_0="$8" +a="$2" +rf="$3"
}

utm() { # <zone> <letter> <lats>
    local south=""
    [ "$2" = N ] || south="+south"
    reference "utm,$1,$2" "$(( $1 * 6 - 183 ))" "$3" -- \
        +proj=utm +zone="$1" $south +a=6378137 +rf=298.257223563
}

{
    tm "WGS 84" 6378137 298.257223563 0 39 0.9996 500000 0 "0.5 30 55.75 70"
    tm "Pulkovo 1942" 6378245 298.3 0 39 1 7500000 0 "45 55.75 62"
    tm "Ord Srvy Grt Britn" 6377563.396 299.3249646 49 -2 0.9996012717 400000 -100000 "50 54 58"
    tm "NAD27 CONUS" 6378206.4 294.9786982 30 -90 0.9999 200000 0 "25 35 45"
    tm "Tokyo" 6377397.155 299.1528128 36 139.833333333333 0.9999 0 0 "33 36 40"
    tm "European 1950" 6378388 297 0 15 0.9996 500000 10000000 "-45 -20 -1"
    utm 37 N "0.5 40 55.75"
    utm 1 N "10 60"
    utm 33 A "-50 -30 -0.5"
} >"$out"
echo "$(wc -l <"$out") reference rows in $out"
