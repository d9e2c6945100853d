#!/usr/bin/env bash
# The input commands through a real window under Xvfb, driven by xdotool: mouse motion,
# wheel and buttons with the game owning the mouse, keys, the system pointer, text entry and
# the two waits. Keys and buttons are held for several frames: the state is read once a frame.
set -euo pipefail
src=$1
bin=$(cd "$2" && pwd)/tests/input_probe
here=$(cd "$(dirname "$0")" && pwd)

if [ "${IN_XVFB:-}" != 1 ]; then
  # -noreset: a server that resets when its last client leaves refuses the next program's
  # connection for a moment, and SDL would then fall back to a driver without a window.
  exec env IN_XVFB=1 xvfb-run -a -n $((100 + RANDOM % 800)) -s "-noreset -screen 0 1024x768x24" bash "$0" "$@"
fi

work=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- program output:"; cat "$work/out" 2>/dev/null || true
  echo "--- program errors:"; tail -n 20 "$work/err" 2>/dev/null || true
  echo "--- windows:"; xwininfo -root -tree 2>/dev/null | grep -v 'has no name' | head -n 20 || true
  exit 1
}
passed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }

find_window() {  # caption (extended regex) -> window id, now
  id=$(xwininfo -root -tree 2>/dev/null | grep -E "^ +0x[0-9a-f]+ \"$1\":" | awk '{print $1}' | head -n1 || true)
  [ -n "$id" ] && echo "$id"
}

wait_window() {  # caption (extended regex) -> window id, within 30 s
  for _ in $(seq 1 300); do
    find_window "$1" && return 0
    sleep 0.1
  done
  return 1
}

start_probe() {  # mode
  (cd / && SDL_VIDEODRIVER=x11 TMPDIR="$work/" exec timeout 120 "$bin" "$1" >"$work/out" 2>"$work/err") &
  pid=$!
  # Software rendering asks for a confirmation first (the box takes the focus meanwhile);
  # the probe says "ready" once start-up is over.
  for _ in $(seq 1 600); do
    if box=$(find_window '!!OpenGL Software Emulation!!'); then
      sleep 0.3
      timeout 5 xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
    fi
    grep -q '^ready$' "$work/out" && break
    kill -0 "$pid" 2>/dev/null || fail "probe ended during start-up"
    sleep 0.1
  done
  grep -q '^ready$' "$work/out" || fail "probe not ready"
  win=$(wait_window 'Input Probe( <pause>)?') || fail "no probe window"
  xdotool windowfocus --sync "$win"
  wait_window 'Input Probe' >/dev/null || fail "probe window did not get the focus"
  sleep 0.5
}

wait_line() {  # extended regex on a whole line of the output
  for _ in $(seq 1 150); do
    grep -qE "^$1\$" "$work/out" && return 0
    sleep 0.1
  done
  fail "no line '$1'"
}

expect_exit_zero() {
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then fail "$1: still running"; fi
  set +e; wait "$pid"; rc=$?; set -e
  pid=
  [ "$rc" = 0 ] || fail "$1: exit code $rc"
}

hold() {  # xdotool down/up pair: key NAME or button N, held for several frames
  xdotool "${1}down" "$2"; sleep 0.3; xdotool "${1}up" "$2"; sleep 0.3
}
press_keys() {  # one key at a time: keys are read once a frame, and frames may be slow
  for k in "$@"; do hold key "$k"; done
}

# ---- The game owns the mouse -----------------------------------------------------------------
start_probe mouse
xdotool mousemove_relative 30 0; sleep 0.5
xdotool mousemove_relative -- -10 20; sleep 0.5
moves=$(grep '^frame' "$work/out" || true)
# Both reads of a frame agree, and the motion is reported once: the sums are the moves.
read -r same sx sy lines <<<"$(echo "$moves" | awk '/^frame/ {if ($4 != $6) bad = 1; sx += $4; sy += $8; n++}
  END {print (bad ? "no" : "yes"), sx + 0, sy + 0, n + 0}')"
[ "$same" = yes ] || fail "two MOUSEAXIS(0) of one frame differ"
[ "$sx $sy" = "20 20" ] || fail "motion sums $sx $sy, expected 20 20"
[ "$lines" -ge 2 ] || fail "both moves came in one frame"
ok "MOUSEAXIS: one motion per frame, both reads of a frame agree"

before=$(wc -l <"$work/out")
xdotool click --repeat 4 --delay 1 4; sleep 0.5
xdotool click --repeat 4 --delay 1 5; sleep 0.5
wheel=$(tail -n +"$((before + 1))" "$work/out" | awk '/^frame/ && $10 != 0 {print $10}')
echo "$wheel" | grep -qvE '^-?1$' && fail "wheel values: $wheel"
up=$(echo "$wheel" | grep -c '^1$' || true); down=$(echo "$wheel" | grep -c '^-1$' || true)
[ "$up" -ge 1 ] && [ "$up" -le 3 ] && [ "$down" -ge 1 ] && [ "$down" -le 3 ] || fail "wheel frames: +$up -$down"
ok "four wheel notches read as 1 and -1"

hold mouse 1
grep -qE '^frame .* b1 1 ' "$work/out" || fail "left button not seen"
ok "MOUSEAXIS(3) sees the held button"

xdotool mousemove_relative 3000 3000; sleep 0.5
hold key space
wait_line 'state 639 479'
xdotool mousemove_relative -- -9000 -9000; sleep 0.5
hold key space
wait_line 'state 0 0'
ok "MOUSESTATE clamps to the screen"

xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
expect_exit_zero "Escape"
grep -qE '^frame .* esc 1 esc257 1$' "$work/out" || fail "KEY(1) and KEY(257) while Escape is held"
ok "KEY(1) and KEY(257) are 1 while Escape is held; the frame pump then ends the program"

# ---- The system pointer -------------------------------------------------------------------------
start_probe pointer
xdotool mousemove --window "$win" 123 77; sleep 0.3
wait_line 'pos 123 77'
xdotool mousemove --window "$win" 300 200; sleep 0.3
wait_line 'pos 300 200'
ok "SYSTEMPOINTER(1): MOUSESTATE follows the pointer"
/usr/bin/python3 "$here/close_window.py" "$win"
expect_exit_zero "closing the window"

# ---- Text entry and KEYWAIT ----------------------------------------------------------------------
start_probe text
press_keys 1 2 period 5 Return
wait_line 'value 12.5'
ok "INPUT of a number"
press_keys BackSpace BackSpace shift+BackSpace BackSpace x y shift+Return
wait_line 'text \[xy\]'
ok "INPUT: Backspace (also with Shift) empties the text and stops there; Shift+Return ends it"
xdotool keydown a; sleep 0.8; xdotool keyup a; sleep 0.2; hold key Return
wait_line 'held \[a\]'
ok "INPUT: a held key adds its character once"
wait_line keywait
sleep 0.3
grep -q '^key$' "$work/out" && fail "KEYWAIT returned without a key"
hold key k
wait_line key
sleep 0.3
/usr/bin/python3 "$here/close_window.py" "$win"
expect_exit_zero "closing the window during KEYWAIT"
grep -q '^not closed$' "$work/out" && fail "KEYWAIT returned after the close"
ok "KEYWAIT waits for a key; closing the window while it waits ends the program"

# ---- MOUSEWAIT -----------------------------------------------------------------------------------
start_probe mousewait
xdotool mousedown 1
wait_line held
sleep 0.5
xdotool mouseup 1; sleep 0.5
grep -q '^done$' "$work/out" && fail "MOUSEWAIT returned on the release"
hold mouse 1
wait_line done
expect_exit_zero "END after MOUSEWAIT"
ok "MOUSEWAIT entered with a button held waits for the release and a new press"

echo "$passed passed, 0 failed"
