#!/usr/bin/env bash
# Fuzzes the configuration reader and the manifest parser with libFuzzer for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_HARNESS]   (default 60)
# Each harness runs mostly as a 64-bit program (native speed; the code is portable) and for a
# quarter of its time as the 32-bit build the launcher ships, through the i386 emulator. The
# corpus in fuzz/corpus seeds a working copy under build/fuzz, so the repository stays as it is.
# Exits non-zero when a harness finds a crash; the input is left in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz
mkdir -p "$out/artifacts"
CXX=${FUZZ_CXX:-clang++-14}
common=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Ilauncher -Ilauncher/patch -Icommon)
sources_ql_file=(fuzz/ql_file_fuzz.cpp launcher/config/ql_file.cpp launcher/config/scramble.cpp common/ansi_text.cpp)
sources_manifest=(fuzz/manifest_fuzz.cpp launcher/patch/manifest.cpp launcher/patch/manifest_path.cpp
                  launcher/patch/md5_ctx.cpp common/ansi_text.cpp common/staged_file.cpp)

status=0
for harness in ql_file manifest; do
  sources_var="sources_${harness}[@]"
  sources=("${!sources_var}")
  "$CXX" -m64 "${common[@]}" "${sources[@]}" -o "$out/${harness}_fuzz64"
  extra32=()
  [ "$harness" = manifest ] && extra32=(launcher/patch/md5_transform_x86.S)
  "$CXX" -m32 "${common[@]}" "${sources[@]}" "${extra32[@]}" -o "$out/${harness}_fuzz32"
  work="$out/corpus/$harness"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$harness"/* "$work"/ 2>/dev/null || true
  long=$(( seconds * 3 / 4 )); short=$(( seconds - long ))
  for run in "64 $long" "32 $short"; do
    set -- $run
    echo "== fuzz $harness (${1}-bit, ${2} s)"
    # LeakSanitizer cannot stop the world under the i386 emulator.
    if ! ASAN_OPTIONS=detect_leaks=0 "$out/${harness}_fuzz$1" -max_total_time="$2" -detect_leaks=0 -print_final_stats=1 \
         -artifact_prefix="$out/artifacts/${harness}-" "$work" 2>"$out/${harness}_$1.log"; then
      tail -n 40 "$out/${harness}_$1.log"
      echo "fuzz $harness ${1}-bit: FAILED"
      status=1
    else
      grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$out/${harness}_$1.log" | tr '\n' ' '
      echo
    fi
  done
done
exit $status
