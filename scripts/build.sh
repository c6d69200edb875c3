#!/usr/bin/env bash
# Builds the three gauge modules into dist/ (stripped, as shipped), the
# stand-in host and the tests, then renders dist/preview/<module>.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
jobs=$(nproc)

bash scripts/build_modules.sh build/modules dist

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release \
  -DGAUGE_DIST_DIR="$root/dist" -DGAUGE_MODULE_BUILD_DIR="$root/build/modules" >/dev/null
cmake --build build/native -j "$jobs"

if [ -x scripts/previews.sh ]; then bash scripts/previews.sh; fi
