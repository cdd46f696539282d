#!/usr/bin/env bash
# End-to-end timings of the launcher's verification and downloads under Wine against md5sum and
# curl (see scripts/bench_patch.py). Defaults: 2 GiB in 2000 files verified, 200 MiB in 100 files
# downloaded, 20000 small files verified and 1000 of 4 KiB downloaded, three runs each; smaller:
# scripts/bench_patch.sh --verify-mib 200 --small-files 2000 --download-mib 50 --fixed-files 100
# Where the kernel runs no 32-bit code, --x86-64 measures the launcher's x86-64 build instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# A configured tree configures itself again when a CMakeLists.txt changes; only the presets are checked here.
[ build/windows/CMakeCache.txt -nt CMakePresets.json ] || cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target QuenlorLauncher uiauto per_file_setup_probe >/dev/null
# --x86-64: the launcher's x86-64 measuring build, which Wine runs without the emulator.
for arg in "$@"; do
  if [ "$arg" = --x86-64 ]; then
    [ build/windows64/CMakeCache.txt -nt CMakePresets.json ] || cmake --preset windows64 >/dev/null
    cmake --build --preset windows64 -j2 --target QuenlorLauncher uiauto per_file_setup_probe >/dev/null
  fi
done
[ build/native/CMakeCache.txt -nt CMakePresets.json ] || cmake --preset native >/dev/null
cmake --build build/native -j2 --target qlconfig >/dev/null
/usr/bin/python3 scripts/bench_patch.py "$@"
