#!/usr/bin/env bash
# regsvr32 Nimbrel.dll (twice: registering again must leave the same entries), the client test's
# Registered cases, regsvr32 /u, its Unregistered cases. The client test is judged by its exit
# status and GoogleTest's summary alike: a fault in its teardown is a failure.
set -uo pipefail
run=$1 home=$2 dll=$3 client=$4
windll="Z:${dll//\//\\}"

gtest() {
  local out status=0
  out=$("$run" --home "$home" "$client" --gtest_color=no --gtest_filter="$1" 2>&1) || status=$?
  echo "$out"
  [ "$status" -eq 0 ] && grep -q '^\[  PASSED  \]' <<<"$out" && ! grep -q '^\[  FAILED  \]' <<<"$out"
}

status=0
for pass in 1 2; do
  "$run" --home "$home" regsvr32 /s "$windll" || { echo "regsvr32 failed (pass $pass)"; status=1; }
done
gtest 'Registered.*' || status=1
"$run" --home "$home" regsvr32 /s /u "$windll" || { echo "regsvr32 /u failed"; status=1; }
gtest 'Unregistered.*' || status=1
[ $status -eq 0 ] && echo "registration round trip passed"
exit $status
