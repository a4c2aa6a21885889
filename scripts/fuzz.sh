#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz and runs each for a given time.
#
#   bash scripts/fuzz.sh SECONDS [target...]     (default: every target)
#
# Each target starts from its committed seeds (fuzz/corpus/<target>) plus what earlier runs found
# (fuzz/corpus-work/<target>, not committed). Two targets run side by side on a machine with two
# or more cores (NIMBRA_FUZZ_JOBS overrides). At the end a table gives, per target, the
# executions, executions per second and the corpus size. A crash, sanitizer report, broken
# invariant, timeout or memory blow-up fails the script (status 1), with the input saved under
# build-fuzz/fuzz-findings/<target>/ and the command that replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: bash scripts/fuzz.sh SECONDS [target...]" >&2
  exit 2
fi
seconds=$1
shift

build=$root/build-fuzz
cores=$(nproc)
jobs=${NIMBRA_FUZZ_JOBS:-$(( cores >= 2 ? 2 : 1 ))}

echo "-- Building the fuzz targets in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNIMBRA_FUZZ=ON -DNIMBRA_GUI=OFF -DNIMBRA_BENCH=OFF >/dev/null
else
  cmake "$build" >/dev/null
fi
cmake --build "$build" --target fuzz_all -j"$cores"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x \
    -printf '%f\n' | sort)
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "FUZZ: no fuzz targets were built" >&2
  exit 1
fi

# Longest input per target: long enough for a whole block of telemetry (and, for the signal
# chain and the file reader, for the Pattern demodulator's 15,000-sample window).
max_len_of() {
  case $1 in
    fuzz_packet_framer) echo 8192 ;;
    fuzz_signal_chain) echo 131072 ;;
    fuzz_decode_input) echo 131072 ;;
    fuzz_settings) echo 4096 ;;
    *) echo 65536 ;;
  esac
}

logs=$build/fuzz-logs
findings=$build/fuzz-findings
mkdir -p "$logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  local t=$1
  local bin=$build/fuzz/$t
  local work=$root/fuzz/corpus-work/$t
  local seeds=$root/fuzz/corpus/$t
  mkdir -p "$work" "$findings/$t" "$seeds"
  # libFuzzer writes new inputs into the first folder and only reads the others.
  "$bin" -max_total_time="$seconds" -max_len="$(max_len_of "$t")" -timeout=20 \
    -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/$t/" \
    "$work" "$seeds" >"$logs/$t.log" 2>&1
}

echo "-- Fuzzing ${#targets[@]} target(s) for ${seconds} s each, $jobs at a time"
# Targets run in batches of $jobs; every target runs for the same time, so nothing waits long.
batch=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/$t" ]; then
    echo "FUZZ: no such target: $t" >&2
    exit 2
  fi
  ( set +e; run_one "$t"; echo $? >"$logs/$t.status" ) &
  batch=$((batch + 1))
  if [ "$batch" -ge "$jobs" ]; then
    wait
    batch=0
  fi
done
wait

failed=0
printf '%-22s %8s %14s %10s %8s  %s\n' target seconds executions exec/s corpus result
for t in "${targets[@]}"; do
  log=$logs/$t.log
  rc=$(cat "$logs/$t.status" 2>/dev/null || echo 1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1 || true)
  time_s=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1 || true)
  corpus=$(find "$root/fuzz/corpus-work/$t" -type f 2>/dev/null | wc -l || true)
  result=ok
  if [ "$rc" != 0 ]; then
    result=FINDING
    failed=1
  fi
  printf '%-22s %8s %14s %10s %8s  %s\n' "$t" "${time_s:-?}" "${execs:-?}" "${rate:-?}" \
    "$corpus" "$result"
done

if [ "$failed" != 0 ]; then
  echo
  for t in "${targets[@]}"; do
    rc=$(cat "$logs/$t.status" 2>/dev/null || echo 1)
    [ "$rc" = 0 ] && continue
    echo "FUZZ FINDING in $t (status $rc); log: $logs/$t.log"
    grep -m1 -E 'ERROR: |runtime error|invariant broken|SUMMARY' "$logs/$t.log" || true
    for f in "$findings/$t"/*; do
      [ -f "$f" ] || continue
      echo "  input: $f"
      echo "  replay: $build/fuzz/$t $f"
    done
  done
  exit 1
fi
echo "-- Fuzzing found nothing"
