#!/usr/bin/env bash
# The project's test command: installs what is missing, builds both presets and runs every test.
#   native   portable code, g++ -m32 with AddressSanitizer and UBSan
#   windows  the shipped 32-bit binaries, their tests run under Wine
# Ends with, per suite, the tests collected, run, passed, failed and excused; every test that ran
# twice, was excused or did not run; and one line "N passed, N failed" over all runs.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "set-up failed"; echo "0 passed, 1 failed"; exit 1; }
export QUENLOR_SETUP_CHECKED=1  # the commands the smoke test runs need not check it again

passed=0
failed=0
logs=build/logs
mkdir -p "$logs"
retries=$logs/retries.log
notes=$logs/verdict-notes.log
suites=$logs/suites.log
: >"$retries"; : >"$notes"; : >"$suites"

run_preset() {
  local preset=$1
  echo "== $preset: configure and build"
  if ! cmake --preset "$preset" >"$logs/$preset-configure.log" 2>&1; then
    tail -n 30 "$logs/$preset-configure.log"; echo "$preset: configure FAILED"; failed=$((failed + 1)); return
  fi
  if ! cmake --build --preset "$preset" -j2 >"$logs/$preset-build.log" 2>&1; then
    grep -E -m 30 'error|Error' "$logs/$preset-build.log"; echo "$preset: build FAILED"; failed=$((failed + 1)); return
  fi
  if [ "$preset" = windows ]; then
    # The release kit's archive, which the end-to-end suite unpacks and builds against.
    echo "== windows: package"
    if ! cmake --build --preset windows --target package >"$logs/windows-package.log" 2>&1; then
      tail -n 30 "$logs/windows-package.log"; echo "windows: package FAILED"; failed=$((failed + 1))
    fi
  fi
  echo "== $preset: tests"
  if [ "$preset" = windows ]; then run_windows_tests; return; fi
  local tmp=build/$preset/Testing/Temporary status
  rm -f "$tmp/LastTest.log"
  ctest --preset "$preset" -N | sed -n 's/^ *Test *#[0-9]*: //p' >"$logs/$preset-tests.txt"
  ctest --preset "$preset" 2>&1 | tee "$logs/$preset-test.log"
  status=${PIPESTATUS[0]}
  cp "$tmp/LastTest.log" "$logs/$preset-first.log" 2>/dev/null || : >"$logs/$preset-first.log"
  /usr/bin/python3 scripts/retry_verdict.py ctest "$logs/$preset-first.log" --expect "$logs/$preset-tests.txt" \
    --status "$status" >"$logs/$preset-verdict.log" 2>&1
  add_verdict "$preset" "$logs/$preset-verdict.log"
}

# Adds a verdict of scripts/retry_verdict.py to the totals and keeps its retry, excuse and
# not-run lines and its suite counts for the summary; a verdict that is missing counts as one
# failure.
add_verdict() {
  local what=$1 out=$2 line ok bad
  grep '^retry: ' "$out" | sed "s/^retry: /$what: /" >>"$retries"
  grep -E '^(excused|not run|unexpected|failed): ' "$out" | sed "s/^/$what: /" >>"$notes"
  line=$(grep -E '^verdict: [0-9]+ passed, [0-9]+ failed$' "$out" | tail -n 1)
  if [ -z "$line" ]; then
    echo "$what: no verdict"; echo "$what: no verdict" >>"$suites"; failed=$((failed + 1)); return
  fi
  grep '^suite: ' "$out" | tail -n 1 | sed "s/^suite: /$what: /" >>"$suites"
  ok=$(echo "$line" | sed -E 's/^verdict: ([0-9]+) passed, ([0-9]+) failed$/\1/')
  bad=$(echo "$line" | sed -E 's/^verdict: ([0-9]+) passed, ([0-9]+) failed$/\2/')
  passed=$((passed + ok))
  failed=$((failed + bad))
}

# Under the i386 emulator Wine now and then dies at start-up. Every failed Windows test runs once
# more, and scripts/retry_verdict.py judges the pair from what the first run printed: only a first
# failure that was an emulator start-up death is redeemed by a passing second run.
run_windows_tests() {
  local tmp=build/windows/Testing/Temporary status
  rm -f "$tmp/LastTest.log" "$tmp/LastTestsFailed.log"
  ctest --preset windows -N | sed -n 's/^ *Test *#[0-9]*: //p' >"$logs/windows-tests.txt"
  ctest --preset windows 2>&1 | tee "$logs/windows-test.log"
  status=${PIPESTATUS[0]}
  cp "$tmp/LastTest.log" "$logs/windows-first.log" 2>/dev/null || : >"$logs/windows-first.log"
  local second=()
  if [ -s "$tmp/LastTestsFailed.log" ]; then
    echo "== windows: second try of the failed tests"
    ctest --preset windows --rerun-failed 2>&1 | tee "$logs/windows-retest.log"
    cp "$tmp/LastTest.log" "$logs/windows-second.log" 2>/dev/null || : >"$logs/windows-second.log"
    second=("$logs/windows-second.log")
  fi
  /usr/bin/python3 scripts/retry_verdict.py ctest "$logs/windows-first.log" "${second[@]}" \
    --expect "$logs/windows-tests.txt" --status "$status" >"$logs/windows-verdict.log" 2>&1
  cat "$logs/windows-verdict.log"
  add_verdict windows "$logs/windows-verdict.log"
}

# The end-to-end suite drives the Windows build under Wine. Every failed case runs once more; the
# suite records what it collected, each try and whether an emulator death ended it
# (tests/e2e/attempt_record.py), and scripts/retry_verdict.py judges them as for the Windows tests,
# together with pytest's own exit status: a module that fails to import, a run cut short or a
# missing record fails, named.
run_e2e() {
  echo "== e2e: pytest tests/e2e"
  local attempts="$logs/e2e-attempts.json" status
  rm -f "$attempts"
  : >"$logs/e2e-startup-deaths.log"
  QUENLOR_E2E_ATTEMPTS="$attempts" QUENLOR_STARTUP_DEATH_LOG="$PWD/$logs/e2e-startup-deaths.log" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider --reruns 1 --reruns-delay 2 tests/e2e 2>&1 | tee "$logs/e2e-test.log"
  status=${PIPESTATUS[0]}
  /usr/bin/python3 scripts/retry_verdict.py e2e "$attempts" --status "$status" >"$logs/e2e-verdict.log" 2>&1
  cat "$logs/e2e-verdict.log"
  add_verdict e2e "$logs/e2e-verdict.log"
}

# Every command the README documents, in its shortest form (scripts/readme_smoke.sh); each one
# counts as one test.
run_smoke() {
  echo "== smoke: the README's commands"
  bash scripts/readme_smoke.sh 2>&1 | tee "$logs/smoke.log"
  add_verdict smoke "$logs/smoke.log"
}

start=$(date +%s)
run_preset native
run_preset windows
if [ -f build/windows/bin/QuenlorLauncher.exe ]; then run_e2e; else echo "e2e: no Windows build"; failed=$((failed + 1)); fi
if [ -f build/windows/bin/QuenlorLauncher.exe ] && [ -f build/native/bin/qlconfig ]; then run_smoke
else echo "smoke: no build"; failed=$((failed + 1)); fi
echo
echo "== summary: native, windows, e2e and smoke test runs, $(( $(date +%s) - start )) s"
cat "$suites"
[ -s "$notes" ] && cat "$notes"
if [ -s "$retries" ]; then
  echo "second tries: $(wc -l <"$retries")"
  cat "$retries"
else
  echo "second tries: 0"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
