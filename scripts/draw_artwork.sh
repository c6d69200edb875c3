#!/usr/bin/env bash
# Redraws the gauge bitmaps into <module>/art/ from tools/artwork/.
# Arguments go to gauge-artwork: --only GAUGE[/BITMAP], --png DIR, --png-zoom N.
# The normal build never redraws; commit the bitmaps this writes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/artwork -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/artwork --target gauge-artwork -j "$(nproc)" >/dev/null
build/artwork/tools/artwork/gauge-artwork --out-root "$root" "$@"
