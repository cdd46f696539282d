#!/usr/bin/env bash
# Runs the concurrency-heavy tests many times, without second tries, and prints the flake rate of
# each, so a race shows as a number. Not part of the test command; needs the Windows build.
#
#   bash scripts/stress.sh [ROUNDS]          default 10 rounds
#   STRESS_TESTS="ctest:NAME e2e:NODEID ..." bash scripts/stress.sh 20
#
# A failed run whose output shows an emulator start-up death (see README, "second tries") is
# counted apart: it says nothing about our code.
set -uo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-10}
default_tests=(
  ctest:asyncftp_test
  ctest:nimbrel_test
  ctest:winfx_tests
  e2e:tests/e2e/test_launcher_closing.py::test_close_during_the_last_file_completes_nothing
  e2e:tests/e2e/test_launcher_closing.py::test_close_during_verification_of_a_large_client_ends_cleanly_and_changes_nothing
  e2e:tests/e2e/test_launcher_patching.py::test_closing_mid_transfer_writes_nothing_and_begins_no_further_file
  e2e:tests/e2e/test_launcher_closing.py::test_hard_kills_at_random_moments_leave_every_file_old_or_new
  e2e:tests/e2e/test_updater.py::test_picture_ending_first_waits_for_the_slow_launcher_which_is_started_once
  e2e:tests/e2e/test_updater.py::test_updater_ended_mid_download_leaves_old_files_and_no_temporary
)
read -r -a tests <<<"${STRESS_TESTS:-${default_tests[*]}}"

[ -f build/windows/bin/QuenlorLauncher.exe ] || { echo "no Windows build: cmake --preset windows && cmake --build --preset windows -j2"; exit 1; }
logs=build/logs/stress
mkdir -p "$logs"
death_marker='^wine-run: emulator death \((start-up|helper)\):'

run_once() {  # kind name log -> 0 passed, 1 failed, 2 start-up death
  local kind=$1 name=$2 log=$3
  if [ "$kind" = ctest ]; then
    ctest --preset windows -R "^${name}\$" >"$log" 2>&1 && return 0
    grep -E -q "$death_marker" "$log" && return 2
    return 1
  fi
  local attempts="$log.json"
  # The kill case picks new random moments in every round, twenty of them each time.
  QUENLOR_KILL_ROUNDS=${QUENLOR_KILL_ROUNDS:-20} QUENLOR_KILL_SEED=$RANDOM QUENLOR_E2E_ATTEMPTS="$attempts" QUENLOR_STARTUP_DEATH_LOG="$PWD/$log.deaths" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider "$name" >"$log" 2>&1 && return 0
  [ -s "$log.deaths" ] && return 2
  return 1
}

summary=()
for entry in "${tests[@]}"; do
  kind=${entry%%:*}
  name=${entry#*:}
  fails=0 deaths=0
  for ((round = 1; round <= rounds; round++)); do
    log="$logs/$(echo "$name" | tr '/:[]' '____').$round.log"
    : >"$log.deaths"
    run_once "$kind" "$name" "$log"
    case $? in
      0) rm -f "$log" "$log.json" "$log.deaths" ;;
      1) fails=$((fails + 1)); echo "  $name: round $round FAILED (see $log)" ;;
      2) deaths=$((deaths + 1)); echo "  $name: round $round emulator start-up death" ;;
    esac
  done
  counted=$((rounds - deaths))
  rate=$(awk -v f="$fails" -v n="$counted" 'BEGIN { printf "%.1f", n ? 100 * f / n : 0 }')
  line="$name: $fails of $counted runs failed ($rate%), $deaths start-up deaths"
  echo "$line"
  summary+=("$line")
done
echo
echo "== flake rates over $rounds rounds"
printf '%s\n' "${summary[@]}"
