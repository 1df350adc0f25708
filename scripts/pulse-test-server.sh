#!/usr/bin/env bash
# A private PulseAudio server for the sound tests, with two null sinks:
#   "speaker" (48000 Hz, "Test Speaker") and "radio" (11025 Hz mono, "Test Radio").
# Usage: pulse-test-server.sh start DIR   prints the export lines for PULSE_SERVER and XDG_RUNTIME_DIR
#        pulse-test-server.sh stop DIR
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
command=$1
dir=$2

start_server() {
  mkdir -p "$dir"
  chmod 700 "$dir"
  dir=$(cd "$dir" && pwd)
  export XDG_RUNTIME_DIR=$dir PULSE_SERVER=unix:$dir/pulse.sock
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes --log-target=file:"$dir/pulse.log" \
    -L "module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1" \
    -L "module-null-sink sink_name=speaker rate=48000 norewinds=1 sink_properties=\"device.description='Test Speaker'\"" \
    -L "module-null-sink sink_name=radio rate=11025 channels=1 norewinds=1 sink_properties=\"device.description='Test Radio'\"" \
    >/dev/null 2>&1 || { echo "pulseaudio did not start (see $dir/pulse.log)" >&2; return 1; }
  # Bounded: about 10 s.
  for _ in $(seq 50); do
    if timeout 2 pactl info >/dev/null 2>&1; then
      printf 'export PULSE_SERVER=%q\nexport XDG_RUNTIME_DIR=%q\n' "$PULSE_SERVER" "$XDG_RUNTIME_DIR"
      return 0
    fi
    sleep 0.2
  done
  echo "pulseaudio did not answer in time (see $dir/pulse.log)" >&2
  stop_server
  return 1
}

stop_server() {
  [ -d "$dir" ] || return 0
  dir=$(cd "$dir" && pwd)
  export XDG_RUNTIME_DIR=$dir PULSE_SERVER=unix:$dir/pulse.sock
  timeout 5 pactl exit >/dev/null 2>&1 || true
  # A server that did not leave on request is ended by its pid file.
  local pid_file=$dir/pulse/pid
  local pid
  # The server may remove its pid file while it leaves: no file, nothing left to end.
  if pid=$(cat "$pid_file" 2>/dev/null); then
    for _ in $(seq 25); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.2; done
    kill "$pid" 2>/dev/null || true
  fi
}

case "$command" in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
