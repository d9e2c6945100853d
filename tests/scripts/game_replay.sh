#!/usr/bin/env bash
# Hollerquast recorded under Xvfb while xdotool plays it (speed up, turn, shoot, wheel down into
# a crash), then replayed twice without an X server: every frame's checksum matches in both
# replays and the last frame each saves is byte for byte the recorded run's. A copy of the
# recording with one mouse reading changed diverges at that very frame; damaged copies are
# refused with exit code 2.
set -euo pipefail
build=$(cd "$2" && pwd)
bin=$build/game/hollerquast
tool=$build/tools/replay/tavelor-replay
[ -x "$bin" ] && [ -x "$tool" ] || { echo "no game or no replay tool in this build"; exit 77; }

source "$(dirname "$0")/xvfb_common.sh"
ensure_xvfb "$0" "$@"

work=$(mktemp -d)
trap 'kill -9 "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
frames=400

# 1. The recorded session: a checksum of every frame. Whatever the machine's speed, the game
# ends itself after $frames frames and saves the last one.
(cd "$work" && TAVELOR_RECORD="$work/play.rec" TAVELOR_RECORD_CHECK=1 SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  "$bin" --frames "$frames" --shot "$work/recorded.bmp" 2>"$work/record.txt") &
pid=$!
confirm_software_box || true
win=$(wait_window 'Hollerquast( <pause>)?') || fail "no window captioned Hollerquast"
play() { xdotool "$@" 2>/dev/null || true; }  # the game may already have ended
play windowfocus --sync "$win"
for _ in 1 2 3 4 5; do play mousemove_relative -- 0 -40; sleep 0.05; done   # faster
for _ in 1 2 3; do play mousemove_relative -- -50 0; sleep 0.05; done      # turn left
play click 1                                                              # shoot
sleep 0.3
play click --repeat 12 --delay 40 4                                       # wheel: down into the ground
set +e; wait "$pid"; rc=$?; set -e
pid=
[ "$rc" = 0 ] || { cat "$work/record.txt"; fail "recorded run: exit code $rc"; }
[ -s "$work/recorded.bmp" ] || fail "the recorded run saved no frame"
"$tool" info "$work/play.rec" >"$work/info.txt" || fail "the recording does not read: $(cat "$work/info.txt")"
moved=$(awk '/^input:/ {print $4}' "$work/info.txt" | tr -d ,)
wheel=$(awk '/^input:/ {print $6}' "$work/info.txt" | tr -d ,)
[ "${moved:-0}" -gt 0 ] && [ "${wheel:-0}" -gt 0 ] || fail "the recording holds no mouse input: $(cat "$work/info.txt")"
echo "ok: recorded $frames frames under Xvfb: $(grep bytes "$work/info.txt"); mouse moved in $moved readings, wheel in $wheel"

# 2. Two replays without an X server, as fast as they draw.
replay() {  # file name -> exit code in $rc, messages in $work/name.txt
  local rec=$1 name=$2
  rc=0
  (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY TAVELOR_REPLAY="$rec" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    timeout 300 "$bin" --frames "$frames" --shot "$work/$name.bmp" 2>"$work/$name.txt") || rc=$?
}
for n in 1 2; do
  replay "$work/play.rec" "replay$n"
  [ "$rc" = 0 ] || { cat "$work/replay$n.txt"; fail "replay $n: exit code $rc"; }
  grep -q "as recorded ($((frames)) frame checksums matched)" "$work/replay$n.txt" ||
    { cat "$work/replay$n.txt"; fail "replay $n did not compare every frame"; }
  cmp -s "$work/recorded.bmp" "$work/replay$n.bmp" || fail "replay $n saved another last frame"
done
echo "ok: two headless replays matched all $frames frame checksums and saved the recorded last frame byte for byte"

# 3. One mouse reading changed: the replay diverges at that frame and no later.
planted=0
for f in $(seq 60 5 300); do
  "$tool" mouse "$work/play.rec" "$work/planted.rec" "$f" 40 2>/dev/null && { planted=$f; break; }
done
[ "$planted" != 0 ] || fail "no frame with mouse motion to change"
replay "$work/planted.rec" planted
[ "$rc" = 3 ] || { cat "$work/planted.txt"; fail "planted difference: exit code $rc"; }
grep -q "^replay diverged at frame $planted " "$work/planted.txt" ||
  fail "planted difference at frame $planted reported as: $(cat "$work/planted.txt")"
echo "ok: a mouse reading changed at frame $planted diverges at frame $planted"

# 4. Damaged, truncated and foreign files: a message and exit code 2, before any frame.
size=$(stat -c %s "$work/play.rec")
head -c $((size - 3)) "$work/play.rec" >"$work/cut.rec"
cp "$work/play.rec" "$work/flipped.rec"
printf '\xff' | dd of="$work/flipped.rec" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
for bad in cut flipped recorded.bmp; do
  file=$work/$bad
  [ "$bad" = recorded.bmp ] || file=$work/$bad.rec
  replay "$file" "bad_$bad"
  [ "$rc" = 2 ] || fail "$bad: exit code $rc"
  grep -q "^replay: " "$work/bad_$bad.txt" || fail "$bad: no message"
  echo "ok: $bad refused: $(grep "^replay: " "$work/bad_$bad.txt")"
done
echo "4 passed, 0 failed"
