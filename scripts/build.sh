#!/usr/bin/env bash
# Builds the three gauge modules into dist/ (stripped, as shipped), the
# stand-in host and the tests, then renders dist/preview/<module>.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build/modules -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/modules -j "$jobs"

mkdir -p dist
for module in Ostrel_Airspeed Velkor_Climb Tavoran_Landing; do
  built=$(find build/modules -name "$module.gau" -print -quit)
  [ -n "$built" ] || continue
  i686-w64-mingw32-strip -o "dist/$module.gau" "$built"
done

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release \
  -DGAUGE_DIST_DIR="$root/dist" -DGAUGE_MODULE_BUILD_DIR="$root/build/modules" >/dev/null
cmake --build build/native -j "$jobs"

if [ -x scripts/previews.sh ]; then bash scripts/previews.sh; fi
