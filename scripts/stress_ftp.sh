#!/usr/bin/env bash
# Long stress runs of the FTP component's announcement counting and notification deque, outside
# the test suite: many sessions publishing while the client pops, closes and reuses slots, and
# many producer threads on the deque. Prints each run's outcome and the failure rate.
#   scripts/stress_ftp.sh [RUNS] [ROUNDS_PER_RUN]      (defaults 20 and 200; windows build)
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
rounds=${2:-200}
build=build/windows
program="$build/bin/nimbrel_counting_test.exe"
[ -x "$program" ] || { echo "build the windows preset first ($program is missing)"; exit 1; }

failed=0 startup_deaths=0
for run in $(seq 1 "$runs"); do
  output=$(NIMBREL_STRESS_ROUNDS=$rounds cmake/wine/wine-run.sh --home "$build/wine" "$program" \
           --gtest_filter='NimbrelStress.*' --gtest_color=no 2>&1 | tr -d '\r')
  if ! grep -q '^\[==========\] Running' <<<"$output"; then
    # Wine under the emulator sometimes dies before the program runs: counted apart, not a result.
    startup_deaths=$((startup_deaths + 1))
    echo "run $run: Wine died at start-up"
  elif grep -q '^\[  PASSED  \] 2 tests' <<<"$output"; then
    echo "run $run: passed"
  else
    failed=$((failed + 1))
    echo "run $run: FAILED"
    grep -E 'Failure|Expected|Which is|actual|FAILED' <<<"$output" | head -20
  fi
done
judged=$((runs - startup_deaths))
awk -v f="$failed" -v j="$judged" -v d="$startup_deaths" -v r="$rounds" 'BEGIN {
  printf "stress: %d of %d runs failed (%.1f%%), %d rounds each; Wine start-up deaths: %d\n",
         f, j, j ? 100 * f / j : 0, r, d }'
[ "$failed" -eq 0 ] && [ "$judged" -gt 0 ]
