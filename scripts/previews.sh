#!/usr/bin/env bash
# Renders <module>.png for each module in dist/: a contact sheet of the
# gauge at the reference values of its scale, and <module>.webp, an
# animation over the same range, into dist/preview/ or OUT_DIR.
# `scripts/previews.sh docs` regenerates the README's committed pictures
# (commit them; a test fails while they differ from what the modules draw).
#
#   scripts/previews.sh [OUT_DIR]    (GAUGE_HOST and GAUGE_DIST override the
#                                      gauge-host binary and the modules' folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
host=${GAUGE_HOST:-build/native/host/cli/gauge-host}
dist=${GAUGE_DIST:-dist}
out=${1:-dist/preview}
mkdir -p "$out"

preview() {
  local module=$1
  shift
  [ -f "$dist/$module.gau" ] || return 0
  "$host" sweep "$dist/$module.gau" "$@" -o "$out/$module.png"
  echo "$out/$module.png"
}

# Airspeed: the scale's joins and its labelled values on both turns.
preview Ostrel_Airspeed --var 61 --values 0,50,60,100,140,180,200,230,290,350,410
# Landing altimeter in metres (units variable 2.0), readout showing 120.
preview Tavoran_Landing --var 74 --values 0,100,250,500,750,1000,2500 --set 335=2 --set 75=120
# Vertical speed: the nine calibration values, descent 30 to climb 30.
preview Velkor_Climb --var 65 --values -5850,-3900,-1950,-975,0,975,1950,3900,5850

# And one animation per gauge over the same range, one update cycle per frame.
animation() {
  local module=$1
  shift
  [ -f "$dist/$module.gau" ] || return 0
  "$host" animate "$dist/$module.gau" "$@" --seconds 3 --fps 10 --scale 0.5 -o "$out/$module.webp"
  echo "$out/$module.webp"
}
animation Ostrel_Airspeed --var 61 --from 0 --to 410
animation Tavoran_Landing --var 74 --from 0 --to 2500 --set 335=2 --set 75=120
animation Velkor_Climb --var 65 --from -5850 --to 5850
