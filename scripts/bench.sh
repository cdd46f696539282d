#!/usr/bin/env bash
# Builds the native benchmark preset and runs every benchmark; each prints its ratios against the
# reference measured in the same run. Extra arguments go to every benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
for program in build/bench/bin/*_bench; do
  echo "== $(basename "$program")"
  "$program" --benchmark_color=false "$@"
done

# Bounded fuzzing of the configuration reader and the manifest parser (FUZZ_SECONDS each).
echo "== fuzz"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
