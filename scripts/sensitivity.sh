#!/usr/bin/env bash
# Builds the sensitivity sweep and runs it: every demodulator's block success against Eb/N0 in
# the radio channel model, an hour of noise for the Sync demodulator, and the resulting
# docs/performance.md and docs/sensitivity.png. Not part of the tests; 5 to 10 minutes with one
# worker thread on a 2-core machine (10 when the other core is busy).
#
#   bash scripts/sensitivity.sh                 # the full sweep, one worker thread
#   JOBS=2 bash scripts/sensitivity.sh          # points in parallel when the cores are idle
#   bash scripts/sensitivity.sh --from 10 --to 14 --max-blocks 200 --noise-seconds 60 --out /tmp/s
#
# Environment: BUILD_DIR (default build-sensitivity), JOBS (default 1). Other arguments go to the
# program (`sensitivity --help` lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-sensitivity}
jobs=${JOBS:-1}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target sensitivity
"$build/bin/sensitivity" --jobs "$jobs" "$@"
