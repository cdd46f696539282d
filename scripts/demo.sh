#!/usr/bin/env bash
# The main job, as far as it is built: sets everything up, builds the shipped binaries and runs
# the launcher under Wine on a private display, saving a screenshot of its window in
# build/demo/launcher.png. Patching a sample client from a local patch server joins this script
# when the launcher's patching lands.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null

home=build/demo/wine
mkdir -p build/demo
run=cmake/wine/wine-run.sh
trap '"$run" --home "$home" --stop' EXIT
"$run" --home "$home" --boot
display=":$(cat "$home/display")"

"$run" --home "$home" build/windows/bin/uiauto.exe run-and-close QuenlorLauncher.exe 60000 8000 &
helper=$!
sleep 5
import -display "$display" -window root build/demo/launcher.png
wait "$helper"
echo "screenshot: build/demo/launcher.png"
