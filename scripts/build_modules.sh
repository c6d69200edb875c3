#!/usr/bin/env bash
# Builds the gauge modules (cross, 32-bit Windows) and writes stripped copies
# of the three shipped ones, as shipped, into the dist folder.
#
#   scripts/build_modules.sh BUILD_DIR DIST_DIR [TARGET...]   (default: every module)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
dist=$2
shift 2
targets=()
for target in "$@"; do targets+=(--target "$target"); done

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" "${targets[@]}"

mkdir -p "$dist"
for module in Ostrel_Airspeed Velkor_Climb Tavoran_Landing; do
  built=$(find "$build" -name "$module.gau" -print -quit)
  [ -n "$built" ] || continue
  # strip writes the current time into the PE header unless SOURCE_DATE_EPOCH
  # names one: 0, no time stamp, as the link leaves it.
  SOURCE_DATE_EPOCH=0 i686-w64-mingw32-strip -o "$dist/$module.gau" "$built"
done
