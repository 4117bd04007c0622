#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/ and runs each for a bounded time (FUZZ_SECONDS, default 60) on its seed corpus in
# fuzz/corpus/<target>/. Inputs that add coverage are kept in fuzz/corpus-work/<target>/ (not
# committed). Any finding (crash, sanitizer report, broken property, leak, time-out) is saved as
# build-fuzz/artifacts/<target>-* and makes the script exit non-zero.
#
# Reproduce a finding:  build-fuzz/fuzz/<target> build-fuzz/artifacts/<target>-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
targets=(notation_fuzz inifile_fuzz)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DRUDIMIX_BUILD_FUZZ=ON -DRUDIMIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

# Our own settings, whatever the caller exported: leaks count here, since no Qt is involved.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p build-fuzz/artifacts
failed=()
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  work=fuzz/corpus-work/$name
  log=build-fuzz/$target.log
  mkdir -p "$work"
  echo "== $target: ${seconds} s"
  status=0
  build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$target"- \
    "$work" fuzz/corpus/"$name" >"$log" 2>&1 || status=$?
  grep -E '^(INFO: seed corpus|#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "!! $target found a fault (exit $status); log: $log"
    grep -E -A30 'ERROR:|runtime error:|_fuzz: ' "$log" | head -60 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "Fuzzing found nothing."
