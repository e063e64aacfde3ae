#!/usr/bin/env bash
# The routes of docs/energy.md made as examples/energy_table.py makes them, and the predictive
# model's cruise controller against the optimum on each of them (bench/predictive_gap.cpp).
#
#     bench/predictive_gap.sh BUILD_DIR [--budget B]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool=$build/tools/korvale
"$tool" route opendrive "$root/tests/data/carla_Town01.xodr" --roads \
    7,61,19,95,12,129,24,196,5,20,15,13,3,82,2,37,1,50,0,11,8,14,7,67,6,206,5,20,15 \
    --limit 30 -o "$work/town01.txt" >/dev/null
"$tool" route gps "$root/tests/data/santa_monica_ride.gpx" --limit 50 -o "$work/ride.txt" >/dev/null
/usr/bin/python3 "$root/examples/make_rural_road.py" >"$work/rural.txt"
"$build/bench/korvale_predictive_gap" "$@" \
    "example road (4.7 km)=$root/examples/route.txt" \
    "Town01 (2.4 km)=$work/town01.txt" \
    "Santa Monica ride (7.3 km)=$work/ride.txt" \
    "rural road (20 km)=$work/rural.txt"
