#!/usr/bin/env bash
# Memory of nimbra-decode with every network output unreachable, over flights of growing length
# decoded faster than real time: the chase-map datagrams go to a local port nobody reads, the MQTT
# broker and the SondeHub server refuse every connection, the live KML is rewritten as usual. The
# MQTT queue fills (10,000 fixes) and then drops its oldest, the SondeHub spool keeps everything
# on disk and only a small index in memory, the live KML keeps at most 4,000 points per sonde.
# Prints, per flight length, the peak resident size and each output's figures; a run without
# outputs gives the decoder's own size for comparison.
#
#   bash scripts/outputs-memory.sh [HOURS...]     (default 1 3 6; about 10 s per hour of flight)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-rel
hours=("$@")
[ ${#hours[@]} -gt 0 ] || hours=(1 3 6)

echo "-- Building long_run and nimbra-decode (Release) in $build"
bash scripts/release-build.sh long_run nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-outputs-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A local port that refuses connections: bound, then closed again.
refused_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

peak_kib() { sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$1"; }

printf '\n| flight | fixes | peak resident size, no outputs | peak resident size, all four outputs unreachable |\n|---|---|---|---|\n' > "$work/table"
for h in "${hours[@]}"; do
  echo "-- $h h of flight"
  "$bin/long_run" flight "$h" | /usr/bin/time -v -o "$work/time-plain" "$bin/nimbra-decode" --quiet - \
    > "$work/plain.txt" 2>/dev/null
  rm -rf "$work/spool" "$work/kml" && mkdir -p "$work/kml"
  "$bin/long_run" flight "$h" | /usr/bin/time -v -o "$work/time-outputs" "$bin/nimbra-decode" --quiet \
    --udp 127.0.0.1:9 --mqtt "mqtt://127.0.0.1:$refused_port" \
    --sondehub N0CALL --sondehub-url "http://127.0.0.1:$refused_port/" --sondehub-spool "$work/spool" \
    --live-kml "$work/kml/live.kml" --upload-wait 0 - > "$work/outputs.txt" 2> "$work/outputs.err"
  fixes=$(wc -l < "$work/outputs.txt")
  grep -E ' sent, ' "$work/outputs.err" | sed 's/^nimbra-decode: /   /'
  printf '| %s h | %s | %s MiB | %s MiB |\n' "$h" "$fixes" "$(( $(peak_kib "$work/time-plain") / 1024 ))" \
    "$(( $(peak_kib "$work/time-outputs") / 1024 ))" >> "$work/table"
done
cat "$work/table"
