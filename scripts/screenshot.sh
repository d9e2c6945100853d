#!/usr/bin/env bash
# Writes docs/hollerquast.png: the game's first seconds as a player sees them, taken under Xvfb
# from the built game (scripts/build.sh first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/game/hollerquast}
out=${2:-$root/docs/hollerquast.png}
if [ "${IN_XVFB:-}" != 1 ]; then
  exec env IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$bin" "$out"
fi
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
window() {
  for _ in $(seq 1 300); do
    id=$(xwininfo -root -tree | grep -E "^ +0x[0-9a-f]+ \"$1\":" | awk '{print $1}' | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
TMPDIR="$work/" "$bin" &
pid=$!
if box=$(window '!!OpenGL Software Emulation!!'); then
  sleep 0.3
  xdotool windowfocus --sync "$box" key Return
fi
win=$(window 'Hollerquast( <pause>)?')
xdotool windowfocus --sync "$win"
# Speed up a little and drift left, so the picture shows her flying over the forest.
sleep 0.5
for _ in 1 2 3 4 5 6; do xdotool mousemove_relative -- -4 -25; sleep 0.05; done
sleep 1.2
import -window "$win" "$out"
xdotool key Escape
wait "$pid" || true
pid=
echo "wrote $out"
