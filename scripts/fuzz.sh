#!/usr/bin/env bash
# Fuzzes the stand-in host's PE loader and `info` path for a bounded time:
# builds two libFuzzer targets with clang and AddressSanitizer (build/fuzz),
# one over the PE reader alone, one over the whole info path; seeds them
# with our built modules and every kept regression case, and runs each for
# half the time with a per-input time limit and a memory ceiling. A crash, hang or
# runaway allocation fails the run and leaves the input in
# build/fuzz/artifacts/: minimise it and add it to tests/fuzz/regressions/.
#
#   scripts/fuzz.sh [SECONDS]    (default 90; needs dist/ from scripts/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-90}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGAUGE_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target pe_loader_fuzz pe_reader_fuzz

corpus=build/fuzz/corpus
rm -rf "$corpus" build/fuzz/artifacts
mkdir -p "$corpus" build/fuzz/artifacts
cp dist/*.gau "$corpus"/
find build/modules/tests -name '*.gau' -exec cp {} "$corpus"/ \; 2>/dev/null || true
if [ -d tests/fuzz/regressions ]; then find tests/fuzz/regressions -type f -exec cp {} "$corpus"/ \; ; fi

# The fast reader-only target and the whole info path share the time.
for target in pe_reader_fuzz pe_loader_fuzz; do
  echo "fuzzing with $target for $((seconds / 2)) s"
  build/fuzz/tests/fuzz/$target -max_total_time="$((seconds / 2))" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=1024 -max_len=400000 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/ "$corpus" 2>build/fuzz/log || {
    tail -40 build/fuzz/log
    echo "fuzzing with $target found a failing input: see build/fuzz/artifacts/" >&2
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^Done' build/fuzz/log
done
