#!/usr/bin/env bash
# A private PulseAudio server for the live-capture tests: no systemd, no D-Bus, works as root.
#   pulse_test_server.sh start DIR   start it (socket DIR/run/pulse/native) and wait until it answers
#   pulse_test_server.sh stop DIR    stop it and wait until it has gone
# Two null sinks, "testsink" and "othersink", each with a remapped source over its monitor
# ("TestSinkInput", "OtherSinkInput"), because Qt does not list monitor sources. The default
# source is TestSinkInput. Clients use PULSE_SERVER=unix:DIR/run/pulse/native.
set -euo pipefail
action=$1
dir=$2
export XDG_RUNTIME_DIR=$dir/run HOME=$dir/home
export PULSE_SERVER=unix:$dir/run/pulse/native
unset DBUS_SESSION_BUS_ADDRESS

server_pid() {
  [ -f "$dir/run/pulse/pid" ] && cat "$dir/run/pulse/pid" 2>/dev/null || true
}

stop() {
  local pid
  pid=$(server_pid)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" || true
  fi
  rm -f "$dir/run/pulse/pid"
}

case "$action" in
start)
  command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed (scripts/install-deps.sh)"; exit 1; }
  stop
  mkdir -p "$dir/run" "$dir/home"
  chmod 700 "$dir/run"
  pulseaudio -D -n --exit-idle-time=-1 --system=false --disallow-module-loading=false \
    --log-target="file:$dir/pulseaudio.log" \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=testsink rate=48000 channels=2" \
    --load="module-remap-source master=testsink.monitor source_name=testsink_in source_properties=device.description=TestSinkInput" \
    --load="module-null-sink sink_name=othersink rate=48000 channels=2" \
    --load="module-remap-source master=othersink.monitor source_name=othersink_in source_properties=device.description=OtherSinkInput"
  for _ in $(seq 200); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl info >/dev/null || { echo "the test audio server does not answer"; cat "$dir/pulseaudio.log"; exit 1; }
  pactl set-default-source testsink_in
  pactl set-default-sink testsink
  echo "test audio server running: PULSE_SERVER=$PULSE_SERVER"
  ;;
stop)
  stop
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
