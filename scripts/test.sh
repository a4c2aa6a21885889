#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the full build (core, command-line tools, desktop program) and all its tests;
#   2. the tests again under AddressSanitizer and UndefinedBehaviorSanitizer (not the widget tests,
#      nor those that race a radio or a browser in real time);
#   3. the thread-stress test under ThreadSanitizer (15 minutes of audio per demodulator);
#   4. a half-minute run of every fuzz target (AddressSanitizer, UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/install-deps.sh
# The web page's browser test drives Debian's Chromium with playwright-core from npm.
(cd tests/web/browser && npm install --no-audit --no-fund --loglevel=error)

# Widget tests run without an X server; a private runtime folder keeps Qt quiet.
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/nimbra-runtime.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"

# One compile job more than cores keeps them busy while another job links or waits on the disk;
# line tables only (-g1): enough for a sanitizer's or a debugger's backtrace, and quicker to build.
build_jobs=$((jobs + 1))

echo "== Build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build -j"$build_jobs"

echo "== Tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 900)

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# At -O1, as the sanitizers are meant to run: a few times faster than -O0, the reports as good.
# The tests that race a radio or a browser in real time (label "realtime") are left out here:
# slowed down by the sanitizers they would only measure the build's speed; the code they drive
# runs under the sanitizers in its own tests.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" \
  -DNIMBRA_SANITIZE=ON -DNIMBRA_GUI=ON -DNIMBRA_BENCH=OFF
cmake --build build-asan -j"$build_jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 900 -LE realtime)

echo "== Thread stress under ThreadSanitizer"
bash scripts/stress.sh 900

echo "== Fuzz smoke: half a minute per target"
bash scripts/fuzz.sh 30
cd "$root"
