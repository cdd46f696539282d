#!/usr/bin/env bash
# Runs every command the README documents, each in its shortest form, so that none rots unseen.
# Part of the test command (after the suites, which leave the builds this reuses); needs the
# native and windows builds. Each command's output is kept in build/logs/smoke/NAME.log.
#
#   bash scripts/readme_smoke.sh [NAME...]      only the named commands (names below)
#
# Prints one line per command, then "suite: ..." and "verdict: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build/logs/smoke
mkdir -p "$logs"
export QUENLOR_WINE_HOME=$PWD/build/windows/wine  # demo and bench_patch reuse the test prefix
run=cmake/wine/wine-run.sh
bin=build/windows/bin

# The operator tool: its usage line, and every command it documents on a small folder.
smoke_qlconfig() {
  local tool=build/native/bin/qlconfig work=build/smoke/qlconfig status
  "$tool" >"$logs/qlconfig-usage.txt" 2>&1; status=$?
  [ "$status" -ne 0 ] && grep -q '^usage: qlconfig scramble' "$logs/qlconfig-usage.txt" || { cat "$logs/qlconfig-usage.txt"; return 1; }
  rm -rf "$work" && mkdir -p "$work/folder/sub"
  printf 'http://127.0.0.1/patch/\n' >"$work/url.txt"
  echo one >"$work/folder/a.txt"; echo two >"$work/folder/sub/b.bin"
  "$tool" scramble "$work/url.txt" "$work/url.bin" &&
    "$tool" unscramble "$work/url.bin" "$work/back.txt" &&
    [ "$(tr -d '\r' <"$work/back.txt")" = "$(cat "$work/url.txt")" ] &&
    "$tool" manifest "$work/folder" "$work/MyUpdata.txt" &&
    "$tool" verify "$work/folder" "$work/MyUpdata.txt" || return 1
  # publish: a client of one launcher (version "7", wide text as the launcher keeps it), a picture
  # and the configuration that names where they go.
  mkdir -p "$work/client/Image/Autopatch"
  printf '*UpUrl http://127.0.0.1/patch\n*UpLuchUrl http://127.0.0.1/patch/launcher\n*LunchName QuenlorLauncher.exe\n' >"$work/client.txt"
  printf 'MZ 7\000\000\000' >"$work/client/QuenlorLauncher.exe"
  echo BM >"$work/client/Image/Autopatch/BackGround.bmp"
  "$tool" scramble "$work/client.txt" "$work/client/Image/Autopatch/AutoPatchURL.bin" &&
    "$tool" publish "$work/client" "$work/server" --launcher-version 7 &&
    "$tool" verify "$work/server" "$work/server/MyUpdata.txt" &&
    [ -f "$work/server/launcher/QuenlorLauncher.exe" ]
}

# The sample FTP client and the UI helper print their usage when called bare.
smoke_ftpget() {
  local out status
  out=$("$run" --home "$QUENLOR_WINE_HOME" "$bin/ftpget.exe" 2>&1); status=$?
  echo "$out"
  [ "$status" -eq 2 ] && grep -q 'usage: ftpget' <<<"$out"
}
smoke_uiauto() {
  local out status
  out=$("$run" --home "$QUENLOR_WINE_HOME" "$bin/uiauto.exe" 2>&1); status=$?
  echo "$out"
  [ "$status" -eq 64 ] && grep -q 'uiauto run-and-close' <<<"$out"
}

smoke_fuzz() { bash scripts/fuzz.sh 2; }
# Both benchmark presets are built (benchmark programs only), every benchmark runs once, briefly;
# fuzzing has its own line above.
smoke_bench() { BENCH_REPETITIONS=1 BENCH_IGNORE_SPEED=1 FUZZ_SECONDS=0 bash scripts/bench.sh --benchmark_min_time=0.001; }
smoke_crosswidth_check() { bash scripts/crosswidth_check.sh; }
smoke_bench_ftp() { bash scripts/bench_ftp.sh 1 65536 40; }
smoke_bench_patch() { bash scripts/bench_patch.sh --verify-files 4 --verify-mib 1 --small-files 4 --download-files 2 --download-mib 1 --fixed-files 2 --runs 1; }
smoke_bench_patch_x86_64() { bash scripts/bench_patch.sh --x86-64 --verify-files 4 --verify-mib 1 --small-files 4 --download-files 2 --download-mib 1 --fixed-files 2 --runs 1; }
smoke_stress() {
  STRESS_TESTS="ctest:session_lifetime_test e2e:tests/e2e/test_suite_verdict.py::test_a_clean_suite_passes_with_every_case_counted" \
    bash scripts/stress.sh 1 || return 1
  # stress.sh reports rates rather than failing: a round that failed shows in its table.
  ! grep -q ' round 1 FAILED' "$1"
}
smoke_stress_ftp() { bash scripts/stress_ftp.sh 1 1; }
smoke_demo() { bash scripts/demo.sh; }

names=(qlconfig ftpget uiauto fuzz bench crosswidth_check bench_ftp bench_patch bench_patch_x86_64 stress stress_ftp demo)
[ $# -gt 0 ] && names=("$@")
# Two lanes run side by side: the commands that run Windows programs share one Wine prefix and
# take turns in one; the native ones (their own build folders) run in the other.
wine_commands=" ftpget uiauto bench_ftp bench_patch bench_patch_x86_64 stress stress_ftp demo "

# Every command below would check the machine's set-up again; once is enough.
bash scripts/setup.sh >"$logs/setup.log" 2>&1 || { cat "$logs/setup.log"; echo "verdict: 0 passed, 1 failed"; exit 1; }
export QUENLOR_SETUP_CHECKED=1

run_lane() {
  local name log start
  for name in "$@"; do
    log="$logs/$name.log"; : >"$log"
    start=$(date +%s)
    if declare -F "smoke_$name" >/dev/null && "smoke_$name" "$log" >"$log" 2>&1 </dev/null; then
      echo "passed $(( $(date +%s) - start ))" >"$logs/$name.result"
    else
      echo "FAILED $(( $(date +%s) - start ))" >"$logs/$name.result"
    fi
  done
}

native_lane=() wine_lane=()
for name in "${names[@]}"; do
  rm -f "$logs/$name.result"
  if [[ "$wine_commands" == *" $name "* ]]; then wine_lane+=("$name"); else native_lane+=("$name"); fi
done
began=$(date +%s)
run_lane "${native_lane[@]}" &
run_lane "${wine_lane[@]}" &
wait

passed=0 failed=0
for name in "${names[@]}"; do
  log="$logs/$name.log"
  read -r verdict seconds <"$logs/$name.result" 2>/dev/null || { verdict=FAILED; seconds=0; }
  if [ "$verdict" = passed ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    tail -n 20 "$log" | sed 's/^/    /'
  fi
  echo "smoke: $name: $verdict ($seconds s, $log)"
  [ "$verdict" = passed ] || echo "failed: $name (see $log)"
done
echo "smoke: $(( $(date +%s) - began )) s in all"
echo "suite: collected ${#names[@]}, run ${#names[@]}, passed $passed, failed $failed, excused 0"
echo "verdict: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
