#!/usr/bin/env bash
# Memory of nimbra-decode with its web page over HOURS of band (synthesized, IQ at 240 kS/s,
# decoded faster than real time: a modelled flight switched on every two hours, each from launch
# to landing) while five browsers come and go: each connects to the event stream, stays a few
# seconds, leaves and comes back. Samples the resident size every 20 s; it must stay flat (tracks,
# logs and event queues are bounded, a client that leaves is forgotten, a sonde an hour quiet is
# dropped). The band's start time is given, so that the fixes carry the band's own time and the
# page forgets its sondes on it, as a station running that long would.
#
#   bash scripts/web-memory.sh [HOURS]     (default 6, at most 10; some 10 minutes per 6 hours of flight)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
hours=${1:-6}
build=$root/build-rel
echo "-- Building nimbra-synth and nimbra-decode (Release) in $build"
bash scripts/release-build.sh nimbra-synth nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-web-memory.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

sondes=()
for ((k = 0; k * 2 < hours; ++k)); do
  sondes+=(--sonde "id=$(printf '%04X' $((0x3000 + k))),offset=$((30000 - 50000 * (k % 2))),on=$((k * 7200))")
done
"$bin/nimbra-synth" --channel iq --iq-format cu8 --rate 240000 --duration "$((hours * 3600))" --ebn0 16 \
  --flight "${sondes[@]}" - 2>/dev/null |
  "$bin/nimbra-decode" --quiet --iq cu8 --rate 240000 --http "$port" --start-time 2026-06-01T00:00:00Z - > "$work/lines.txt" &
pids+=($!)
sleep 2
decoder=$(pgrep -n -f "$bin/nimbra-decode --quiet --iq cu8 --rate 240000 --http $port")
for ((c = 0; c < 5; ++c)); do
  ( while kill -0 "$decoder" 2>/dev/null; do
      timeout "$((2 + RANDOM % 8))" curl -s -N "http://127.0.0.1:$port/events" > /dev/null || true
      sleep 0.$((RANDOM % 10))
    done ) &
  pids+=($!)
done
printf '| wall time | fixes so far | resident size |\n|---|---|---|\n'
start=$(date +%s)
while kill -0 "$decoder" 2>/dev/null; do
  rss=$(sed -n 's/^VmRSS:\s*\([0-9]*\) kB/\1/p' "/proc/$decoder/status" 2>/dev/null || true)
  [ -n "$rss" ] && printf '| %4d s | %6d | %6.1f MiB |\n' "$(( $(date +%s) - start ))" "$(wc -l < "$work/lines.txt")" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  sleep 20
done
