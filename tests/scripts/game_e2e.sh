#!/usr/bin/env bash
# Hollerquast under Xvfb: window, caption, placement, error log, and the three ways to end
# it (Escape, Alt+F4, the close request), each with exit code 0.
set -euo pipefail
src=$1
bin=$2/game/hollerquast
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$bin" ] || { echo "no game in this build"; exit 77; }

source "$(dirname "$0")/xvfb_common.sh"
ensure_xvfb "$0" "$@"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }


start_game() {
  (cd / && TMPDIR="$work/" SDL_VIDEODRIVER=x11 "$bin") &
  pid=$!
  # The software-rendering box takes the focus, so the game shows its pause caption until it
  # gets it back.
  if confirm_software_box; then
    win=$(wait_window 'Hollerquast <pause>') || fail "no pause caption while the box had the focus"
    paused=1
  fi
  win=$(wait_window 'Hollerquast( <pause>)?') || fail "no window captioned Hollerquast"
  xdotool windowfocus --sync "$win"
  wait_window Hollerquast >/dev/null || fail "caption not restored when the focus returned"
  sleep 0.3
}

expect_exit_zero() {
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fail "$1: game still running"; fi
  set +e; wait "$pid"; rc=$?; set -e
  [ "$rc" = 0 ] || fail "$1: exit code $rc"
  echo "ok: $1 ends with exit code 0"
}

# 1. Window, placement, log; Escape ends it.
start_game
geom=$(xdotool getwindowgeometry "$win")
echo "$geom" | grep -q "Geometry: 640x480" || fail "client area: $geom"
echo "$geom" | grep -q "Position: 192,144" || fail "placement: $geom"
log=$(tr -d '\r' < "$work/ErrorLog.txt")
exe_dir=$(dirname "$(readlink -f "$bin")")
expected=$(printf 'OpenGL Software Emulation\nCurrent Dir\n%s' "$exe_dir")
expected_hw=$(printf 'OpenGL Hardware Support\nCurrent Dir\n%s' "$exe_dir")
[ "$log" = "$expected" ] || [ "$log" = "$expected_hw" ] || fail "error log: $log"
xdotool windowfocus --sync "$win"; xdotool key Escape
expect_exit_zero "Escape"

# 2. Alt+F4.
start_game
xdotool windowfocus --sync "$win"
# Held as a person holds them: down together for a few frames.
xdotool keydown alt keydown F4; sleep 0.3; xdotool keyup F4 keyup alt
expect_exit_zero "Alt+F4"

# 3. The window system's close request.
start_game
/usr/bin/python3 "$here/close_window.py" "$win"
expect_exit_zero "closing the window"
[ "${paused:-0}" = 1 ] && echo "ok: focus loss shows the pause caption, focus restores it"
echo "3 passed, 0 failed"
