#!/usr/bin/env bash
# Builds the benchmark presets (bench: the shipped 32-bit code, run through the i386 emulator
# where the kernel refuses 32-bit programs; bench64: the same sources as x86-64 code, run
# natively), checks that both compute the same results, runs every benchmark in both and prints
# one table of ratios (ours / reference, medians of BENCH_REPETITIONS runs, default 5). Extra
# arguments go to every benchmark program (for example --benchmark_filter=sort). Each program's
# own output is kept in build/bench-results/<preset>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
presets=(bench bench64)
# Only what is run here is built: the benchmark programs and the hot-path results, not the
# presets' unit tests.
for preset in "${presets[@]}"; do
  # A configured tree configures itself again when a CMakeLists.txt changes; only the presets are checked here.
  [ "build/$preset/CMakeCache.txt" -nt CMakePresets.json ] || cmake --preset "$preset" >/dev/null
  mapfile -t targets < <(cmake --build --preset "$preset" --target help | sed -n 's/^\.\.\. \([A-Za-z0-9_]*_bench\)$/\1/p')
  cmake --build --preset "$preset" -j2 --target "${targets[@]}" hotpath_results >/dev/null
done

# A benchmark whose routine computes something else in one build measures nothing.
echo "== results of the hot paths, 32-bit against x86-64"
bash scripts/crosswidth_check.sh --no-build

results=build/bench-results
slower=()
for preset in "${presets[@]}"; do
  rm -rf "${results:?}/$preset"
  mkdir -p "$results/$preset"
  for program in build/"$preset"/bin/*_bench; do
    name=$(basename "$program")
    echo "== $preset: $name"
    # A program that ends with status 1 found ours slower than its reference; any other failure
    # is a fault. BENCH_IGNORE_SPEED=1 (the README smoke run, whose timings are far too short to
    # judge) lists the slow ones without failing.
    bench_status=0
    "$program" --benchmark_color=false --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
      --benchmark_report_aggregates_only=true --benchmark_out="$results/$preset/$name.json" \
      --benchmark_out_format=json "$@" >"$results/$preset/$name.txt" || bench_status=$?
    if [ "$bench_status" -eq 1 ]; then
      slower+=("$preset/$name")
    elif [ "$bench_status" -ne 0 ]; then
      echo "$preset/$name FAILED with status $bench_status"; exit 1
    fi
  done
done
if [ "${#slower[@]}" -gt 0 ]; then
  echo "slower than the reference: ${slower[*]}"
  [ "${BENCH_IGNORE_SPEED:-0}" = 1 ] || exit 1
fi
echo "== ours / reference (below 1.0: ours is faster); medians of ${BENCH_REPETITIONS:-5} runs"
/usr/bin/python3 scripts/bench_table.py "$results/bench" "$results/bench64" | tee "$results/table.txt"

# Bounded fuzzing of every harness in fuzz/ (FUZZ_SECONDS each).
if [ "${FUZZ_SECONDS:-60}" -gt 0 ]; then
  echo "== fuzz"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi
