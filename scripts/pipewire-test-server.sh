#!/usr/bin/env bash
# A private PipeWire for the PipeWire sound test, reached as a PulseAudio server through
# pipewire-pulse, with the same two null sinks as the PulseAudio test server:
#   "speaker" (48000 Hz, "Test Speaker") and "radio" (11025 Hz mono, "Test Radio").
# The graph runs at PipeWire's usual 48000 Hz, as on a desktop.
# Usage: pipewire-test-server.sh start DIR   prints the export line for VELMORA_PIPEWIRE_SERVER
#        pipewire-test-server.sh stop DIR
#
# Measured on Debian 12 (pipewire, pipewire-pulse, wireplumber 0.3.65 / 0.4.13), as root,
# without a system bus:
# - Everything lives in DIR: XDG_RUNTIME_DIR (pipewire-0, pulse/native), a private D-Bus
#   session (wireplumber wants one; dbus-daemon --session --fork), and XDG_CONFIG_HOME /
#   XDG_STATE_HOME, so that no desktop's config or remembered default device takes part.
# - Root is fine; rtkit is not reachable without a system bus, which costs only a warning.
# - Start-up: pipewire first, then wireplumber and pipewire-pulse; pactl answers after
#   about 0.3 s. Without a sound card wireplumber adds "auto_null", which is left alone.
# - PipeWire's module-null-sink takes its description only with this quoting:
#   "sink_properties='device.description=\"Test Radio\"'".
# - The sinks appear in `pactl list short sinks` a little after load-module returns.
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
command=$1
dir=$2

use_dir() {
  dir=$(cd "$dir" && pwd)
  export XDG_RUNTIME_DIR=$dir XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state
  export PULSE_SERVER=unix:$dir/pulse/native
}

wait_for() {  # wait_for TRIES COMMAND...: every 0.2 s
  local tries=$1; shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

has_sinks() { timeout 2 pactl list short sinks | grep -q '\bradio\b' && timeout 2 pactl list short sinks | grep -q '\bspeaker\b'; }

start_server() {
  for program in pipewire wireplumber pipewire-pulse dbus-daemon pactl; do
    command -v "$program" >/dev/null || { echo "$program is not installed" >&2; return 1; }
  done
  mkdir -p "$dir"
  chmod 700 "$dir"
  use_dir
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
  local bus
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=3 3>"$dir/dbus.pid") ||
    { echo "no D-Bus session could be started" >&2; return 1; }
  export DBUS_SESSION_BUS_ADDRESS=$bus
  : >"$dir/pids"
  for program in pipewire wireplumber pipewire-pulse; do
    setsid "$program" >"$dir/$program.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
    [ "$program" = pipewire ] && wait_for 25 test -S "$dir/pipewire-0"
  done
  if ! wait_for 50 timeout 2 pactl info; then
    echo "pipewire-pulse did not answer in time (see $dir/*.log)" >&2
    stop_server
    return 1
  fi
  timeout 5 pactl load-module module-null-sink sink_name=speaker rate=48000 \
    "sink_properties='device.description=\"Test Speaker\"'" >/dev/null &&
    timeout 5 pactl load-module module-null-sink sink_name=radio rate=11025 channels=1 \
      "sink_properties='device.description=\"Test Radio\"'" >/dev/null &&
    wait_for 25 has_sinks || {
    echo "the null sinks could not be made on PipeWire (see $dir/*.log)" >&2
    stop_server
    return 1
  }
  printf 'export VELMORA_PIPEWIRE_SERVER=%q\n' "$PULSE_SERVER"
}

stop_server() {
  [ -d "$dir" ] || return 0
  use_dir
  local pid
  # Latest first: pipewire-pulse and wireplumber before the pipewire they talk to.
  if [ -f "$dir/pids" ]; then
    for pid in $(tac "$dir/pids"); do kill "$pid" 2>/dev/null || true; done
    for pid in $(cat "$dir/pids"); do
      for _ in $(seq 25); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
      kill -9 "$pid" 2>/dev/null || true
    done
    rm -f "$dir/pids"
  fi
  if pid=$(cat "$dir/dbus.pid" 2>/dev/null); then
    kill "$pid" 2>/dev/null || true
    rm -f "$dir/dbus.pid"
  fi
}

case "$command" in
  start) start_server ;;
  stop) stop_server ;;
  *) usage ;;
esac
