#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the full build (core, command-line tools, desktop program) and all its tests;
#   2. the core and command-line tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the thread-stress test under ThreadSanitizer;
#   4. a one-minute run of every fuzz target (AddressSanitizer, UndefinedBehaviorSanitizer).
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

echo "== Build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

echo "== Tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 900)

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNIMBRA_SANITIZE=ON -DNIMBRA_GUI=ON -DNIMBRA_BENCH=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 900)

echo "== Thread stress under ThreadSanitizer"
bash scripts/stress.sh

echo "== Fuzz smoke: one minute per target"
bash scripts/fuzz.sh 60
cd "$root"
