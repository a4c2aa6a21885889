#!/usr/bin/env bash
# Installs what is missing, builds Nimbra and runs it: the desktop program when a display is
# available, otherwise the headless decoder on the bundled sample recording.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the programs this runs (the tests and benchmarks are scripts/test.sh's).
targets=(nimbra-decode sample_recording)
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && targets+=(nimbra)
cmake --build build -j"$(nproc)" --target "${targets[@]}"

if [ -x build/bin/nimbra ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/nimbra
fi
if [ -x build/bin/nimbra ]; then
  echo "No display found (DISPLAY is not set): decoding the sample recording with nimbra-decode instead."
fi
exec build/bin/nimbra-decode build/bin/sample-flight.wav
