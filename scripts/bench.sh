#!/usr/bin/env bash
# Builds everything, runs the benchmarks on the shipped modules in dist/,
# writes bench/results.md and prints it. Not part of scripts/test.sh.
#
#   scripts/bench.sh [benchmark flags for host_bench, e.g. --benchmark_min_time=2]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh

bin=build/native/bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/instruction_counts" dist >"$work/instructions.md"
"$bin/module_sizes" dist >"$work/sizes.md"
"$bin/serve_bench" dist --markdown="$work/serve.md"
"$bin/host_bench" dist --markdown="$work/host.md" --benchmark_min_time=0.5 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@" >&2

{
  echo "# Benchmark results"
  echo
  echo "Written by scripts/bench.sh on $(date -u +%Y-%m-%d), $(nproc) cores ($(uname -m)), from the"
  echo "stripped modules in dist/. The minimal sequences behind the \"minimum\" column are in NOTES.md."
  echo
  echo "## Instructions per call (goal: at most 1.5 x the minimum; the readout has none)"
  echo
  cat "$work/instructions.md"
  echo
  echo "The readout formats with the C run-time's sprintf, which the stand-in host plays (its stub's ret"
  echo "is the one instruction counted for it; msvcrt's own sprintf adds its work on a real system): the"
  echo "count is the module's own part, the call and the bounded copy. The row with no text buffer skips both."
  echo
  echo "## Module size in bytes"
  echo
  cat "$work/sizes.md"
  echo
  echo "## Stand-in host (median CPU time of 5 runs; goals: at least 1 million calls/s, rendering not slower than Cairo)"
  echo
  cat "$work/host.md"
  echo
  echo "## Live bench, gauge-host serve (goals: set-and-fetch through the API at most 3 ms median; three gauges at 60 updates/s each without falling behind)"
  echo
  cat "$work/serve.md"
} >bench/results.md
cat bench/results.md
