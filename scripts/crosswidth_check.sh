#!/usr/bin/env bash
# Runs the hot paths on one fixed input set in the 32-bit (bench) and x86-64 (bench64) builds
# and compares the results: identical where the routine is SSE arithmetic or integer work,
# within one unit in the last place where a C runtime function is involved.
# --no-build: use the programs already built.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-build" ]; then
  for preset in bench bench64; do
    # A configured tree configures itself again when a CMakeLists.txt changes; only the presets are checked here.
    [ "build/$preset/CMakeCache.txt" -nt CMakePresets.json ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2 --target hotpath_results >/dev/null
  done
fi
out=build/bench-results
mkdir -p "$out"
build/bench/bin/hotpath_results >"$out/hotpath-32.txt"
build/bench64/bin/hotpath_results >"$out/hotpath-64.txt"
/usr/bin/python3 scripts/compare_hotpath_results.py "$out/hotpath-32.txt" "$out/hotpath-64.txt"
