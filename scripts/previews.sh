#!/usr/bin/env bash
# Renders dist/preview/<module>.png for each module in dist/: a contact
# sheet of the gauge at the reference values of its scale.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
host=${GAUGE_HOST:-build/native/host/cli/gauge-host}
mkdir -p dist/preview

preview() {
  local module=$1
  shift
  [ -f "dist/$module.gau" ] || return 0
  "$host" sweep "dist/$module.gau" "$@" -o "dist/preview/$module.png"
  echo "dist/preview/$module.png"
}

# Airspeed: the scale's joins and its labelled values on both turns.
preview Ostrel_Airspeed --var 61 --values 0,50,60,100,140,180,200,230,290,350,410
# Landing altimeter in metres (units variable 2.0), readout showing 120.
preview Tavoran_Landing --var 74 --values 0,100,250,500,750,1000,2500 --set 335=2 --set 75=120
# Vertical speed: the nine calibration values, descent 30 to climb 30.
preview Velkor_Climb --var 65 --values -5850,-3900,-1950,-975,0,975,1950,3900,5850
