#!/usr/bin/env bash
# Memory of nimbra-decode's SDR receiver over an hour of a busy band: 2.4 MS/s cu8 as rtl_sdr
# pipes it, a sonde arriving every two minutes and each leaving four minutes after it came (so
# one arrives and another leaves every two minutes, two or three in the band at a time), with a
# dongle's DC spike and I/Q imbalance. Samples nimbra-decode's resident size every 30 s and
# prints it with the channels taken up and lost; the size must stay flat once the first sondes
# have come and gone.
#
#   bash scripts/band-memory.sh [MINUTES]     (default 60; some 8 minutes per hour of band)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-60}
build=$root/build-rel

echo "-- Building nimbra-synth and nimbra-decode (Release) in $build"
bash scripts/release-build.sh nimbra-synth nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-band-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT

seconds=$((minutes * 60))
sondes=()
for ((k = 0; k * 120 < seconds; ++k)); do
  offset=$(( (k * 370000) % 2000000 - 1000000 ))
  sondes+=(--sonde "id=$(printf '%04X' $((0x2000 + k))),offset=$offset,level=$(( -(k % 3) )),on=$((k * 120)),off=$((k * 120 + 240))")
done

"$bin/nimbra-synth" --channel iq --iq-format cu8 --rate 2400000 --duration "$seconds" --ebn0 14 \
  --dc 0.02 --iq-imbalance 0.5,3 --seed 77 "${sondes[@]}" - 2>/dev/null |
  "$bin/nimbra-decode" --iq cu8 --rate 2400000 --freq 1680M - > "$work/lines.txt" 2> "$work/notes.txt" &
pipeline=$!
sleep 1
decoder=$(pgrep -n -f "$bin/nimbra-decode --iq cu8")
printf '| wall time | lines so far | resident size |\n|---|---|---|\n'
start=$(date +%s)
while kill -0 "$decoder" 2>/dev/null; do
  rss=$(sed -n 's/^VmRSS:\s*\([0-9]*\) kB/\1/p' "/proc/$decoder/status" 2>/dev/null || true)
  [ -n "$rss" ] && printf '| %4d s | %6d | %6.1f MiB |\n' "$(( $(date +%s) - start ))" "$(wc -l < "$work/lines.txt")" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  sleep 30
done
wait "$pipeline" || true
echo
echo "channels taken up: $(grep -c ': sonde at .* above the noise' "$work/notes.txt")," \
     "lost: $(grep -c ' lost (' "$work/notes.txt"), fixes: $(wc -l < "$work/lines.txt"), $(tail -1 "$work/notes.txt")"
