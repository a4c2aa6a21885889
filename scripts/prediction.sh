#!/usr/bin/env bash
# Builds the landing-prediction benchmark and runs it: 100 seeded synthetic flights (and the same
# flights again in a wind that changes with time) flown without audio through the flight tracker;
# rewrites docs/prediction.md and docs/prediction.png. Not part of the tests; 3 to 6 minutes on one
# core of a 2-core machine, half that with JOBS=2 when the cores are idle.
#
#   bash scripts/prediction.sh                          # the full run, one worker thread
#   JOBS=2 bash scripts/prediction.sh                   # flights in parallel
#   bash scripts/prediction.sh --flights 20 --out /tmp/p   # a quick look
#
# Environment: BUILD_DIR (default build-prediction), JOBS (default 1). Other arguments go to the
# program (`prediction --help` lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-prediction}
jobs=${JOBS:-1}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target prediction
"$build/bin/prediction" --jobs "$jobs" "$@"
