#!/usr/bin/env bash
# A movie under Xvfb: a key press ends a 20-second movie early, with result 0.
set -euo pipefail
bin=$2/examples/example_movie
[ -x "$bin" ] || { echo "skipped: $bin not built"; exit 0; }

if [ "${IN_XVFB:-}" != 1 ]; then
  exec env IN_XVFB=1 xvfb-run -a -n $((100 + RANDOM % 800)) -s "-noreset -screen 0 1024x768x24" bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

wait_window() {  # exact caption (extended regex) -> window id
  for _ in $(seq 1 900); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -E "^ +0x[0-9a-f]+ \"$1\":" | awk '{print $1}' | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=s=320x240:r=30:d=20 \
  -f lavfi -i sine=frequency=440:duration=20 -c:v mpeg4 -c:a aac -shortest "$work/movie.mp4"

(TMPDIR="$work/" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$bin" "$work/movie.mp4" > "$work/out.txt") &
pid=$!
# Mesa renders in software here: start-up asks to confirm a message box first.
if box=$(wait_window '!!OpenGL Software Emulation!!'); then
  sleep 0.3
  xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
fi
win=$(wait_window 'Movie( <pause>)?') || fail "no movie window"
xdotool windowfocus --sync "$win"
sleep 1.5
xdotool key a
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fail "the key did not end the movie"; fi
set +e; wait "$pid"; rc=$?; set -e
[ "$rc" = 0 ] || fail "exit code $rc"
out=$(cat "$work/out.txt")
ms=$(echo "$out" | sed -n 's/^PLAYMOVIE 0 after \([0-9]*\) ms$/\1/p')
[ -n "$ms" ] || fail "output: $out"
[ "$ms" -lt 15000 ] || fail "ended after $ms ms, not early"
echo "ok: a key ends the movie after $ms ms"
