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
# Off she goes over the forest, and fires a shot.
sleep 0.5
for _ in 1 2 3; do xdotool mousemove_relative -- 0 -20; sleep 0.05; done
sleep 0.6
xdotool click 1
sleep 0.15
import -window "$win" "$out"
xdotool key Escape
wait "$pid" || true
pid=
echo "wrote $out"
