#!/usr/bin/env bash
# Thread stress under ThreadSanitizer: builds tests/stress/thread_stress in build-tsan (clang,
# -fsanitize=thread) and runs it on a synthesized flight with each demodulator, while other
# threads drain the text accumulators, read the display fields and the scope rings, and write the
# parameters. Then the network outputs' tests (each output on its own thread, fed from the
# decoding thread), nimbra-decode with its outputs included. Fails (status 1) on a lost,
# repeated, torn or reordered line, a torn value, a failed test, or any ThreadSanitizer report.
#
#   bash scripts/stress.sh [SECONDS_OF_AUDIO]     (default 1800)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-1800}
build=$root/build-tsan

echo "-- Building the thread stress test with ThreadSanitizer in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-fsanitize=thread" -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DNIMBRA_STRESS=ON -DNIMBRA_GUI=OFF -DNIMBRA_BENCH=OFF >/dev/null
else
  cmake "$build" >/dev/null
fi
cmake --build "$build" --target thread_stress outputs_tests outputs_broker_tests nimbra-decode nimbra-synth \
  sample_recording -j"$(nproc)"

echo "-- Running the thread stress test ($seconds s of audio per demodulator)"
log=$build/thread_stress.log
set +e
TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  "$build/bin/thread_stress" "$seconds" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
if [ "$rc" = 66 ] || grep -q 'WARNING: ThreadSanitizer' "$log"; then
  echo "STRESS FAILED: ThreadSanitizer reported a data race or lock problem (see $log)" >&2
  exit 1
fi
if [ "$rc" != 0 ]; then
  echo "STRESS FAILED: thread_stress exited with status $rc (see $log)" >&2
  exit 1
fi
echo "-- The network outputs' tests under ThreadSanitizer"
if ! (cd "$build" && TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
      ctest -L outputs --output-on-failure -j"$(nproc)" --timeout 600); then
  echo "STRESS FAILED: the outputs' tests failed under ThreadSanitizer (see above)" >&2
  exit 1
fi
echo "-- Thread stress passed"
