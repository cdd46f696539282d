#!/usr/bin/env bash
# Fuzzes every parser of outside input and the engine library's stateful structures with
# libFuzzer for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_HARNESS]   (default 60)
# Each harness runs mostly as a 64-bit program (native speed; the code is portable) and for a
# quarter of its time as the 32-bit build the programs ship as, through the i386 emulator where
# the kernel runs no 32-bit code; a harness whose code is 32-bit only (widths_<harness>=32) runs
# its whole time so. Address and undefined-behaviour sanitizers are on. The corpus
# in fuzz/corpus/<harness> seeds a working copy under build/fuzz, so the repository stays as it
# is. FUZZ_HARNESSES="a b" picks some. Exits non-zero when a harness finds a crash; the input is
# left in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz
mkdir -p "$out/artifacts"
CXX=${FUZZ_CXX:-clang++-14}
common=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Ilauncher -Ilauncher/patch
        -Icommon -Ifuzz)
engine=(-Ienginelib/include -Ienginelib -DGEVRAST_STATIC)

# Sources of each harness (the harness first); the 32-bit build adds extras32_<harness>.
sources_ql_file=(fuzz/ql_file_fuzz.cpp launcher/config/ql_file.cpp launcher/config/scramble.cpp common/ansi_text.cpp)
sources_manifest=(fuzz/manifest_fuzz.cpp launcher/patch/manifest.cpp launcher/patch/manifest_path.cpp
                  launcher/patch/md5_ctx.cpp launcher/patch/read_ahead_reader.cpp launcher/patch/sequential_file.cpp common/ansi_text.cpp common/staged_file.cpp)
extras32_manifest=(launcher/patch/md5_transform_x86.S)
sources_engine_containers=(fuzz/engine_containers_fuzz.cpp enginelib/containers/item_queue.cpp
                           enginelib/containers/item_table.cpp enginelib/containers/bsae.cpp enginelib/hash/qbh.cpp
                           enginelib/hash/vbh.cpp enginelib/pool/index_creator.cpp enginelib/pool/static_pool.cpp
                           enginelib/pool/address_space.cpp enginelib/debug/debug_output.cpp)
flags_engine_containers=("${engine[@]}")
sources_engine_heap_pool=(fuzz/engine_heap_pool_fuzz.cpp enginelib/heap/heap.cpp enginelib/containers/bsae.cpp
                          enginelib/pool/index_creator.cpp enginelib/pool/static_pool.cpp enginelib/pool/address_space.cpp
                          enginelib/debug/debug_output.cpp)
flags_engine_heap_pool=("${engine[@]}")
sources_engine_structured=(fuzz/engine_structured_fuzz.cpp enginelib/text/text.cpp enginelib/image/pixels.cpp)
flags_engine_structured=("${engine[@]}")

# The deferred call queue keeps 32-bit function addresses and calls through i386 code: 32-bit only.
sources_engine_dpc_queue=(fuzz/engine_dpc_queue_fuzz.cpp enginelib/dpc/dpc_queue.cpp enginelib/sort/quicksort.cpp
                          enginelib/dpc/stdcall_call_i386.S)
flags_engine_dpc_queue=("${engine[@]}")
widths_engine_dpc_queue="32"

shim=(-Ifuzz/win32_shim -Iftpcomponent/asyncftp/src)  # the FTP layer's portable parts, natively
sources_ftp_reply=(fuzz/ftp_reply_fuzz.cpp ftpcomponent/asyncftp/src/socket_channel.cpp)
flags_ftp_reply=("${shim[@]}")
sources_ftp_listing=(fuzz/ftp_listing_fuzz.cpp ftpcomponent/asyncftp/src/listing_parser.cpp)
flags_ftp_listing=("${shim[@]}")
# A whole session on the harness's thread, against the shim's scripted peer (no sockets, no sleeps).
sources_ftp_session=(fuzz/ftp_session_fuzz.cpp ftpcomponent/asyncftp/src/ftp_connection.cpp
                     ftpcomponent/asyncftp/src/socket_channel.cpp ftpcomponent/asyncftp/src/handles.cpp
                     ftpcomponent/asyncftp/src/listing_parser.cpp ftpcomponent/asyncftp/src/passive_reply.cpp)
flags_ftp_session=("${shim[@]}" -Iftpcomponent/asyncftp/include)
sources_ftp_passive=(fuzz/ftp_passive_fuzz.cpp ftpcomponent/asyncftp/src/passive_reply.cpp)
flags_ftp_passive=(-Iftpcomponent/asyncftp/src)
sources_body_transfer=(fuzz/body_transfer_fuzz.cpp launcher/patch/body_transfer.cpp launcher/patch/md5_ctx.cpp launcher/patch/read_ahead_reader.cpp
                       launcher/patch/sequential_file.cpp
                       launcher/patch/manifest.cpp launcher/patch/manifest_path.cpp common/staged_file.cpp
                       common/ansi_text.cpp)
extras32_body_transfer=(launcher/patch/md5_transform_x86.S)
sources_updater_job=(fuzz/updater_job_fuzz.cpp updater/update_job.cpp)
flags_updater_job=(-Iupdater)
sources_skin_layout=(fuzz/skin_layout_fuzz.cpp launcher/config/skin_layout.cpp launcher/config/ql_file.cpp
                     launcher/config/scramble.cpp common/ansi_text.cpp)

all_harnesses="ql_file manifest engine_containers engine_heap_pool engine_structured engine_dpc_queue ftp_reply
               ftp_listing ftp_passive ftp_session body_transfer updater_job skin_layout"
# A harness program is built again only when this script or a file it was built from (the
# compiler's list, kept beside it) is newer than it; both widths build at once.
build_harness() {
  local bits=$1 program=$out/${harness}_fuzz$1 file
  shift
  if [ -f "$program" ] && [ -f "$program.deps" ] && [ "$program" -nt scripts/fuzz.sh ]; then
    for file in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$program.deps"); do
      [ "$file" -nt "$program" ] && { rm -f "$program.deps"; break; }
    done
    [ -f "$program.deps" ] && return 0
  fi
  rm -f "$program.deps"
  "$CXX" -m"$bits" "${common[@]}" "${flags[@]}" "$@" -o "$program" &&
    "$CXX" -m"$bits" "${common[@]}" "${flags[@]}" -MM "$@" >"$program.deps"
}

status=0
for harness in ${FUZZ_HARNESSES:-$all_harnesses}; do
  sources_var="sources_${harness}[@]"; sources=("${!sources_var}")
  extras_var="extras32_${harness}[@]"; extras32=("${!extras_var}")
  flags_var="flags_${harness}[@]"; flags=("${!flags_var}")
  widths_var="widths_${harness}"; widths=${!widths_var:-64 32}
  build64=""
  if [ "$widths" != 32 ]; then
    build_harness 64 "${sources[@]}" & build64=$!
  fi
  build_harness 32 "${sources[@]}" "${extras32[@]}" & build32=$!
  built=0
  if [ -n "$build64" ]; then wait "$build64" || built=1; fi
  wait "$build32" || built=1
  [ "$built" -eq 0 ] || { echo "fuzz $harness: build FAILED"; exit 1; }
  work="$out/corpus/$harness"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$harness"/* "$work"/ 2>/dev/null || true
  long=$(( seconds * 3 / 4 )); short=$(( seconds - long ))
  runs=("64 $long" "32 $short")
  if [ "$widths" = 32 ]; then runs=("32 $seconds"); fi
  for run in "${runs[@]}"; do
    set -- $run
    echo "== fuzz $harness (${1}-bit, ${2} s)"
    # LeakSanitizer cannot stop the world under the i386 emulator. A run that outlives its time by
    # far is stopped: a process dying under the emulator can hang instead of ending.
    log="$out/${harness}_$1.log"
    if ! ASAN_OPTIONS=detect_leaks=0 timeout -k 10 $(( $2 + 180 )) "$out/${harness}_fuzz$1" -max_total_time="$2" \
         -detect_leaks=0 -print_final_stats=1 -artifact_prefix="$out/artifacts/${harness}-" "$work" 2>"$log"; then
      tail -n 40 "$log"
      # Under the i386 emulator the sanitizer's memory layout and the emulator's can collide (a
      # mapping at the top of the 4 GiB, the guest stack inside the shadow): the sanitizer then
      # fails its own check or reports an "unknown-crash" that the same input does not repeat.
      # A 32-bit failure whose saved input passes on its own, or a sanitizer-internal check that
      # left no input at all, is reported as such; the harnesses keep no state between inputs.
      # Every 64-bit failure, and every repeatable one, counts.
      artifact=$(grep -o "Test unit written to .*" "$log" | tail -n 1 | sed 's/Test unit written to //' || true)
      if [ "$1" = 32 ] && { { [ -z "$artifact" ] && grep -q "AddressSanitizer: CHECK failed" "$log"; } ||
         { [ -n "$artifact" ] && ASAN_OPTIONS=detect_leaks=0 timeout 300 "$out/${harness}_fuzz$1" "$artifact" >/dev/null 2>&1; }; }; then
        echo "fuzz $harness 32-bit: not repeated by its input (emulator): $(grep -m1 -E 'ERROR|CHECK failed' "$log")"
      else
        echo "fuzz $harness ${1}-bit: FAILED"
        status=1
      fi
    else
      grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" | tr '\n' ' '
      grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1
    fi
  done
done
exit $status
