#!/usr/bin/env bash
# A manual tool, not a test: what fldigi (Debian's package, used only as a receiver, at its
# defaults) draws of a transmission. It starts a private PulseAudio server and an Xvfb
# display, runs fldigi there with a fresh home fed from the "radio" null sink's monitor,
# plays each settings file through velmora-render --play on that sink, grabs fldigi's
# waterfall about every 0.7 s and stitches the grabs into NAME-fldigi.png (4 Hz per pixel,
# 1500 Hz +-256 Hz, newest line on top).
# Usage: receiver-capture.sh VELMORA_RENDER FONT OUT_DIR SETTINGS.ini...
# Needs: fldigi xvfb xdotool imagemagick pulseaudio pulseaudio-utils python3.
# The clicks follow fldigi 4.1.23's first-run wizard on a 1280x1024 screen.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 VELMORA_RENDER FONT OUT_DIR SETTINGS.ini..." >&2; exit 2; }
render=$(realpath "$1"); font=$(realpath "$2"); out=$(realpath "$3"); shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
X=363 Y=388 W=129 H=74  # fldigi's waterfall around 1500 Hz
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$here/pulse-test-server.sh" stop "$work/pulse" || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$here/pulse-test-server.sh" start "$work/pulse")"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
mkdir -p "$work/home"
start_fldigi() {
  HOME=$work/home PULSE_SOURCE=radio.monitor fldigi >/dev/null 2>&1 &
  pids+=($!)
  sleep 6
}
# First run: the wizard's sound page, PulseAudio, Finish; then File > Exit > Yes, so that
# the configuration is saved. The waterfall only runs from the second start on.
start_fldigi
xdotool mousemove 655 452 click 1; sleep 1; xdotool mousemove 655 452 click 1; sleep 1
xdotool mousemove 225 260 click 1; sleep 0.5; xdotool mousemove 706 452 click 1; sleep 1.5
xdotool mousemove 68 60 click 1; sleep 1; xdotool mousemove 89 182 click 1; sleep 1
xdotool mousemove 374 181 click 1; sleep 3
start_fldigi
xdotool mousemove 732 420 click 1  # the cursor and its markers away from 1500 Hz
sleep 1

for settings in "$@"; do
  name=$(basename "$settings" .ini)
  (cd "$work" && "$render" --settings "$(realpath "$settings")" --font "$font" --play 2 >/dev/null 2>&1) &
  play=$!
  i=0
  grab() { import -window root -depth 8 -crop ${W}x${H}+${X}+${Y} "rgb:$work/$name-$(printf %04d $i).rgb"; i=$((i + 1)); }
  while kill -0 $play 2>/dev/null; do grab; sleep 0.7; done
  for _ in 1 2 3; do grab; sleep 0.7; done
  python3 "$here/stitch_waterfall.py" $W $H "$work/$name.ppm" "$work/$name"-*.rgb
  convert "$work/$name.ppm" "$out/$name-fldigi.png"
done
