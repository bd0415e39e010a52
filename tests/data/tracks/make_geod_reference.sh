#!/bin/sh
# Regenerates geod_reference.txt: geodesic distances on WGS 84 from GeographicLib's GeodSolve
# (Debian package geographiclib-tools). Columns: lat1 lon1 lat2 lon2 (degrees) and s12 (metres).
set -eu
cd "$(dirname "$0")"
pairs='55 37 55.0166666666667 37
55.75 37.6 55.75 37.6166666666667
55.7 37.5 55.8 37.7
0 0 0.001 0.001
0 179.95 0.05 -179.95
30 -10 30.2 -9.7
-33.9 18.4 -34.2 18.9
70 20 70.5 25
45 0 46 1
60 30 55.75 37.6
55.75 37.6 48.85 2.35
10 100 10 101'
printf '%s\n' "$pairs" | GeodSolve -i -p 6 > /tmp/geod.$$
printf '%s\n' "$pairs" | paste -d ' ' - /tmp/geod.$$ |
    awk '{ printf "%s %s %s %s %s\n", $1, $2, $3, $4, $7 }' > geod_reference.txt
rm -f /tmp/geod.$$
