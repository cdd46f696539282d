#!/usr/bin/env bash
# The launcher's main job on a sample client: sets everything up, builds, serves a patch from
# nginx on loopback, runs the real launcher under Wine on a private display with "RunClient",
# lets it patch and start the demo client, which asks it to close, and prints what happened.
# A screenshot taken mid-patch is left in build/demo/launcher-midpatch.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# A configured tree configures itself again when a CMakeLists.txt changes; only the presets are checked here.
[ build/windows/CMakeCache.txt -nt CMakePresets.json ] || cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target QuenlorLauncher democlient uiauto >/dev/null
# The sample's manifest is made by the operator tool's native build.
[ build/native/CMakeCache.txt -nt CMakePresets.json ] || cmake --preset native >/dev/null
cmake --build build/native -j2 --target qlconfig >/dev/null

home=${QUENLOR_WINE_HOME:-build/demo/wine}
mkdir -p build/demo
run=cmake/wine/wine-run.sh
trap '"$run" --home "$home" --stop' EXIT
"$run" --home "$home" --boot
/usr/bin/python3 scripts/demo_patch.py
cmake --build --preset windows -j2 --target Nimbrel ftpget >/dev/null
bash scripts/demo_ftp.sh "$home"
