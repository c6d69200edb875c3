#!/usr/bin/env bash
# Builds everything, then runs every test against the built modules.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)"
