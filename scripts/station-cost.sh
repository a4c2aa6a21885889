#!/usr/bin/env bash
# What each of a station's options costs in CPU: nimbra-decode on a three-sonde band (2.4 MS/s
# cu8, SECONDS long, decoded from a file as fast as it goes), first alone, then with each option
# (every network output aimed at this machine: a port nobody reads, a broker and a SondeHub
# server that refuse), then with all of them. Prints CPU seconds per minute of band and the
# multiple of real time.
#
#   bash scripts/station-cost.sh [SECONDS]     (default 120)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-120}
build=$root/build-rel
echo "-- Building nimbra-synth and nimbra-decode (Release) in $build"
bash scripts/release-build.sh nimbra-synth nimbra-decode
bin=$build/bin
work=$(mktemp -d /tmp/nimbra-station-cost.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$bin/nimbra-synth" --channel iq --iq-format cu8 --rate 2400000 --duration "$seconds" --ebn0 14 --dc 0.02 \
  --sonde id=1A2B,offset=-420k --sonde id=2C3D,offset=180k --sonde id=3E4F,offset=610k "$work/band.cu8" 2>/dev/null
refused=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
web=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cost() {  # NAME OPTIONS...
  local name=$1
  shift
  rm -rf "$work/spool" "$work/kml" && mkdir -p "$work/kml"
  /usr/bin/time -f '%U %S' -o "$work/time" "$bin/nimbra-decode" --quiet --iq cu8 --rate 2400000 --freq 1680M \
    --upload-wait 0 "$@" "$work/band.cu8" > /dev/null 2>&1
  awk -v name="$name" -v s="$seconds" '{ cpu = $1 + $2; printf "| %s | %.2f | %.0f |\n", name, 60 * cpu / s, s / cpu }' \
    "$work/time"
}

printf '\n| options | CPU s per minute of band | x real time |\n|---|---|---|\n'
cost "the receiver alone (three sondes)"
cost "+ --udp" --udp 127.0.0.1:9
cost "+ --sondehub (server refusing: spooled)" --sondehub N0CALL --sondehub-url "http://127.0.0.1:$refused/" \
  --sondehub-spool "$work/spool"
cost "+ --mqtt (broker refusing)" --mqtt "mqtt://127.0.0.1:$refused"
cost "+ --live-kml" --live-kml "$work/kml/live.kml"
cost "+ --http (no browser)" --http "$web"
cost "+ --format jsonl --gpx --kml" --format jsonl --gpx "$work/t.gpx" --kml "$work/t.kml"
cost "all of them" --udp 127.0.0.1:9 --sondehub N0CALL --sondehub-url "http://127.0.0.1:$refused/" \
  --sondehub-spool "$work/spool" --mqtt "mqtt://127.0.0.1:$refused" --live-kml "$work/kml/live.kml" --http "$web" \
  --format jsonl --gpx "$work/t.gpx" --kml "$work/t.kml"
