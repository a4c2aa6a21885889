#!/usr/bin/env bash
# Builds the sensitivity sweep and runs it: every demodulator's block success against Eb/N0 in
# the radio channel model, the SDR receiver's cases on synthesized IQ, the Sync demodulator's GPS
# fixes on the plain audio channel, an hour of noise each for the Sync demodulator and the SDR
# receiver, and the resulting docs/performance.md, docs/sensitivity.png and
# docs/sensitivity-sdr.png. The page's hand-written summary (between <!-- summary --> and
# <!-- /summary -->: the figures against their targets, iq_bench's speeds) is kept; update it
# from the new tables. Not part of the tests: CPU-heavy, about an hour with one worker thread
# on a 2-core machine; run it niced where others share the machine.
#
#   nice -n 10 bash scripts/sensitivity.sh     # the full sweep, one worker thread
#   JOBS=2 bash scripts/sensitivity.sh          # points (SDR: curves) in parallel on idle cores
#   bash scripts/sensitivity.sh --from 10 --to 14 --max-blocks 200 --noise-seconds 60 --quick --out /tmp/s
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
