#!/usr/bin/env bash
# Builds everything, then runs every test against the built modules.
# --sanitize: then builds the host and the tests once more with
# AddressSanitizer and UndefinedBehaviorSanitizer (build/sanitize) and runs
# the suite there; any sanitizer report fails it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
if [ "${1:-}" != "--sanitize" ]; then
  ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)"
  exit
fi
cmake -S "$root" -B "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Release -DGAUGE_SANITIZE=ON \
  -DGAUGE_DIST_DIR="$root/dist" -DGAUGE_MODULE_BUILD_DIR="$root/build/modules" >/dev/null
cmake --build "$root/build/sanitize" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/sanitize.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$(nproc)"
