#!/usr/bin/env bash
# Bounded resources over long runs, with audio made on the fly (nothing stored):
#   1. a synthesized flight of HOURS decoded in one process (the decoder and its accumulators,
#      drained every 500 ms of audio as the window drains them);
#   2. the same flight piped into nimbra-decode's standard input, as a receiving station runs it;
#   3. HOURS of white noise piped into nimbra-decode's standard input;
#   4. run 2 again with a GPX track, whose fixes nimbra-decode keeps for the file it writes at the end.
# Prints the peak resident size (VmHWM) after the first hour and at the end of each run, and
# checks that every line of the flight came out.
#
#   bash scripts/long-run.sh [HOURS]     (default 10; about 4 minutes per 10 hours on one core)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
hours=${1:-10}
build=$root/build-rel

echo "-- Building long_run and nimbra-decode (Release) in $build"
bash scripts/release-build.sh long_run nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-long-run.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "-- 1. $hours h of synthesized flight decoded in process"
start=$SECONDS
"$bin/long_run" decode "$hours"
echo "   ($((SECONDS - start)) s)"

# Follows a nimbra-decode process: its peak resident size once it has read one hour of audio
# (172,800,000 samples, 345,600,000 bytes) and just before it ends.
watch_decoder() {
  local pid=$1 hour_bytes=345600000 reported=0 peak=0 rchar=0
  while kill -0 "$pid" 2>/dev/null; do
    # An exiting process reads as zeros or not at all: keep the largest values seen.
    local r p
    r=$(sed -n 's/^rchar: //p' "/proc/$pid/io" 2>/dev/null || true)
    p=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$r" ] && [ "$r" -gt "$rchar" ] && rchar=$r
    [ -n "$p" ] && [ "$p" -gt "$peak" ] && peak=$p
    if [ "$reported" = 0 ] && [ "${rchar:-0}" -ge "$hour_bytes" ]; then
      echo "   after 1 h of audio: peak RSS ${peak} KiB"
      reported=1
    fi
    sleep 0.2
  done
  local read_hours
  read_hours=$(awk -v b="$rchar" -v h="$hour_bytes" 'BEGIN { printf "%.1f", b / h }')
  echo "   at the end (${read_hours} h read): peak RSS ${peak} KiB"
}

pipe_run() {  # the long_run mode, then options for nimbra-decode
  local mode=$1
  shift
  start=$SECONDS
  rm -f "$work/pipe.$mode"
  mkfifo "$work/pipe.$mode"
  "$bin/long_run" "$mode" "$hours" >"$work/pipe.$mode" &
  local gen=$!
  "$bin/nimbra-decode" -q "$@" - <"$work/pipe.$mode" >"$work/lines.$mode" 2>"$work/err.$mode" &
  local dec=$!
  watch_decoder "$dec"
  wait "$gen"
  wait "$dec" || { echo "nimbra-decode failed: $(cat "$work/err.$mode")" >&2; exit 1; }
  echo "   $(wc -l <"$work/lines.$mode") lines, $(tail -1 "$work/err.$mode") ($((SECONDS - start)) s)"
}

echo "-- 2. $hours h of synthesized flight through nimbra-decode's standard input"
pipe_run flight
echo "-- 3. $hours h of white noise through nimbra-decode's standard input"
pipe_run noise
echo "-- 4. as 2, writing a GPX track: the track's fixes are kept until the end, by design"
pipe_run flight --gpx "$work/track.gpx"
echo "   track file: $(stat -c %s "$work/track.gpx") bytes"
