#!/usr/bin/env bash
# Builds and runs the signal-quality sweep: the per-block Eb/N0 estimate against the
# synthesizer's set Eb/N0 on its audio and radio channels, for every demodulator and two bit
# rates; writes docs/signal-quality.md. Not part of the tests; about two minutes on one core.
#
#   bash scripts/quality-sweep.sh                        # 8 to 27 dB in 1 dB steps, 20 blocks
#   bash scripts/quality-sweep.sh --from 10 --to 14 --blocks 40 --out /tmp/q.md
#
# Environment: BUILD_DIR (default build-sensitivity). Other arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-sensitivity}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quality_sweep
"$build/bin/quality_sweep" "$@"
