#!/usr/bin/env bash
# The track view panning at 60 frames a second while the tile server (the tests' own, on
# 127.0.0.1) takes DELAY_MS to answer each tile: builds bench/track_view_pan in build-gui-rel
# (Release, with the desktop program) and runs it offscreen for SECONDS.
#
#   bash scripts/track-view-bench.sh [SECONDS] [DELAY_MS]     (default 10 s, 2000 ms)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRA_GUI_RELEASE_BUILD:-$PWD/build-gui-rel}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNIMBRA_GUI=ON -DNIMBRA_BENCH=ON >/dev/null
fi
cmake --build "$build" --target track_view_pan -j"$(nproc)" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bin/track_view_pan" "${1:-10}" "${2:-2000}"
