#!/usr/bin/env bash
# A movie under Xvfb: a key press ends a 20-second movie early, with result 0.
set -euo pipefail
bin=$2/examples/example_movie
[ -x "$bin" ] || { echo "skipped: $bin not built"; exit 0; }

source "$(dirname "$0")/xvfb_common.sh"
ensure_xvfb "$0" "$@"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }


ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=s=320x240:r=30:d=20 \
  -f lavfi -i sine=frequency=440:duration=20 -c:v mpeg4 -c:a aac -shortest "$work/movie.mp4"

(TMPDIR="$work/" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$bin" "$work/movie.mp4" > "$work/out.txt") &
pid=$!
confirm_software_box || true
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
