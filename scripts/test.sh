#!/usr/bin/env bash
# Installs what is missing, builds Rudimix and runs every test: once as built, once more with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets. Every stage runs even
# when an earlier one failed; the last line counts the test programs (ctest's tests) and fuzz
# targets of all stages: "N passed, N failed". The exit code is 1 when anything failed.
#
# A stage adds its counts with count_ctest BUILDDIR (runs ctest there), or with
# count_result NAME PASSED FAILED.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

scripts/setup.sh || exit 1
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
passed=0
failed=0
failures=()

# Adds PASSED and FAILED to the totals; NAME is listed before the summary when FAILED > 0.
count_result() {
  passed=$((passed + $2))
  failed=$((failed + $3))
  if [ "$3" -gt 0 ]; then
    failures+=("$1 ($3)")
  fi
}

# Configures and builds BUILDDIR with the cmake arguments given; a failure counts as one failed
# test, since the tests of that build cannot run.
build() {
  local dir=$1
  shift
  if cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir"; then
    return 0
  fi
  count_result "building $dir" 0 1
  return 1
}

# Runs the tests of BUILDDIR with ctest (further arguments go to ctest) and adds what its summary
# "NN% tests passed, N tests failed out of M" says. No summary (no tests, ctest failed) counts as
# one failed test.
count_ctest() {
  local dir=$1
  shift
  local log
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$log"
  local summary
  summary=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  rm -f "$log"
  if [ -z "$summary" ]; then
    count_result "ctest in $dir" 0 1
    return
  fi
  local bad total
  read -r bad _ _ _ _ total <<<"$summary"
  count_result "ctest in $dir" $((total - bad)) "$bad"
}

# Runs fuzz/run.sh and counts its targets: each "== target" it started, failed when it reported
# "!! target found a fault"; a run that failed otherwise (the build, say) counts as one failure.
count_fuzz() {
  local log status=0
  log=$(mktemp)
  fuzz/run.sh 2>&1 | tee "$log" || status=$?
  local started found
  started=$(grep -c '^== ' "$log")
  found=$(grep -c '^!! ' "$log")
  rm -f "$log"
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then
    found=1
  fi
  count_result "fuzzing" $((started - found < 0 ? 0 : started - found)) "$found"
}

if build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  count_ctest build
fi

# Qt's own leaks are not ours; the sanitizers still stop the run on any other report.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRUDIMIX_SANITIZE=ON; then
  count_ctest build-sanitize
fi

# Windows: the cross build, its tests under Wine (ctest in build-windows/) and the end-to-end run
# under Xvfb and Wine (one test), when a Qt for mingw is at hand.
if scripts/windows.sh --has-qt; then
  if scripts/windows.sh --build-only; then
    count_ctest build-windows
    if scripts/windows-e2e.sh build-windows; then
      count_result "Windows end-to-end" 1 0
    else
      count_result "Windows end-to-end" 0 1
    fi
  else
    count_result "building build-windows" 0 1
  fi
else
  echo "Windows stage skipped: no Qt for mingw (set QT_MINGW_DIR or put shared/ beside the checkout)"
fi

# Fuzzing: the notation reader and writer and the INI engine, about a minute each, built with
# clang under the same sanitizers; any finding fails the run.
count_fuzz

if [ ${#failures[@]} -ne 0 ]; then
  printf 'Failed:'
  printf ' %s;' "${failures[@]}"
  echo
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
