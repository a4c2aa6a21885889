#!/usr/bin/env bash
# What the live web page costs the decoding: nimbra-decode on a three-sonde band from the rtl_tcp
# test server (2.4 MS/s cu8, in real time) for SECONDS, three times: without the page, with the
# page and no browser, and with the page and 20 browsers' event streams. Prints the decoding
# thread's CPU time in each run (the main thread: the page's own threads are not counted, as
# they never hold it up) and the difference.
#
#   bash scripts/web-cost.sh [SECONDS]     (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
build=$root/build-rel
echo "-- Building nimbra-synth and nimbra-decode (Release) in $build"
bash scripts/release-build.sh nimbra-synth nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-web-cost.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/nimbra-synth" --channel iq --iq-format cu8 --rate 2400000 --duration "$((seconds + 10))" --ebn0 14 \
  --sonde id=1A2B,offset=-420k --sonde id=2C3D,offset=180k --sonde id=3E4F,offset=610k "$work/band.cu8" 2>/dev/null

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
cpu_of() {  # user + system seconds of a process's main thread
  awk '{ print ($14 + $15) / 100 }' "/proc/$1/task/$1/stat"
}

run() {  # NAME CLIENTS [extra nimbra-decode options...]
  local name=$1 clients=$2
  shift 2
  local out="$work/server-$clients-$#.out"
  python3 tests/sdr/rtl_tcp_server.py --band "$work/band.cu8" --rate 2400000 --commands "$work/c.log" > "$out" &
  local server=$!
  pids+=("$server")
  while ! grep -q "listening on" "$out" 2>/dev/null; do sleep 0.1; done
  local sdr_port
  sdr_port=$(awk '/listening on/ { print $3 }' "$out")
  "$bin/nimbra-decode" --quiet --sdr "rtl_tcp://127.0.0.1:$sdr_port" --freq 1680M "$@" > "$work/lines.txt" &
  local decoder=$!
  pids+=("$decoder")
  sleep 1
  local streams=()
  for ((c = 0; c < clients; ++c)); do
    curl -s -N "http://127.0.0.1:$web_port/events" > /dev/null &
    streams+=($!)
  done
  sleep "$seconds"
  local cpu
  cpu=$(cpu_of "$decoder")
  kill "${streams[@]}" 2>/dev/null || true
  kill "$decoder" "$server"
  wait "$decoder" "$server" 2>/dev/null || true
  printf '| %s | %s | %s |\n' "$name" "$(wc -l < "$work/lines.txt")" "$cpu"
  echo "$cpu" > "$work/$name.cpu"
}

web_port=$(free_port)
printf '\n| run | lines | decoding thread CPU, s |\n|---|---|---|\n'
run "without the page" 0
run "page, no browser" 0 --http "$web_port"
run "page, 20 event streams" 20 --http "$web_port"
awk -v a="$(cat "$work/without the page.cpu")" -v b="$(cat "$work/page, 20 event streams.cpu")" \
  'BEGIN { printf "\nWith 20 browsers the decoding took %+.1f %% of its time without the page.\n", 100 * (b - a) / a }'
