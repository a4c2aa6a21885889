#!/usr/bin/env bash
# Builds TARGETS in build-rel (Release, with the long-run tool, without the desktop program and
# the benchmarks) for the measurement scripts; prints nothing but errors.
#
#   bash scripts/release-build.sh TARGET...
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-rel
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNIMBRA_STRESS=ON -DNIMBRA_GUI=OFF \
    -DNIMBRA_BENCH=OFF >/dev/null
else
  cmake "$build" -DNIMBRA_STRESS=ON >/dev/null
fi
cmake --build "$build" --target "$@" -j"$(nproc)" >/dev/null
