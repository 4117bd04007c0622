#!/usr/bin/env bash
# Builds the editor benchmarks (optimised, with debug information for a profiler, in build-bench/)
# and runs them headless; the summary at the end gives each figure against its budget. Then the
# stand-in host's sound benchmarks (sound_bench). Extra arguments go to the editor's, e.g.
#   bench/run.sh --benchmark_filter=Show --benchmark_repetitions=3
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUDIMIX_BUILD_BENCH=ON \
  -DRUDIMIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target rudimix_bench
QT_QPA_PLATFORM=offscreen build-bench/bin/rudimix_bench "$@"
cmake --build build-bench --target sound_bench
build-bench/bin/sound_bench
cmake --build build-bench --target practice_bench
build-bench/bin/practice_bench
