#!/usr/bin/env bash
# Sound figures on both private test servers, PulseAudio and PipeWire: how long after
# play() the first sample reaches the sink and how long a normal end waits
# (velmora_pulse_figures), and, over several runs of velmora-render --play, columns
# missing, cut or with a dropout and the silence between columns (velmora_column_figures).
# Not part of the test command: the figures depend on the machine and its load.
# Usage: sound-figures.sh BUILD_DIR [RUNS] [TEXT]
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [RUNS] [TEXT]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-5}
text=${3:-CQ CQ DE}

runtime_dir=$(mktemp -d)
chmod 700 "$runtime_dir"
cleanup() {
  "$source_dir/scripts/pulse-test-server.sh" stop "$runtime_dir/pulse" >/dev/null 2>&1 || true
  "$source_dir/scripts/pipewire-test-server.sh" stop "$runtime_dir/pipewire" >/dev/null 2>&1 || true
  rm -rf "$runtime_dir"
}
trap cleanup EXIT

pulse_env=$("$source_dir/scripts/pulse-test-server.sh" start "$runtime_dir/pulse") || exit 1
pulse_server=$(eval "$pulse_env"; echo "$PULSE_SERVER")
pipewire_env=$("$source_dir/scripts/pipewire-test-server.sh" start "$runtime_dir/pipewire") || exit 1
pipewire_server=$(eval "$pipewire_env"; echo "$VELMORA_PIPEWIRE_SERVER")

status=0
for server in "PulseAudio $pulse_server" "PipeWire $pipewire_server"; do
  name=${server%% *} address=${server#* }
  echo "=== $name: start and end of six 300 ms columns"
  PULSE_SERVER=$address "$build/tests/audio/velmora_pulse_figures" | grep '^column'
  echo "=== $name: '$text', $runs runs"
  "$build/tests/audio/velmora_column_figures" "$address" "$build/tools/render/velmora-render" "$runs" "$text" ||
    status=1
done
exit $status
