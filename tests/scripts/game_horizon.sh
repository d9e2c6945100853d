#!/usr/bin/env bash
# Hollerquast flown straight on at full speed for over ten minutes of game time (each frame
# counted as one second), pushed off by the mouse under Xvfb: in the last frame the ground
# still fills the lower part of the view, and the forest is long gone from it.
set -euo pipefail
build=$(cd "$2" && pwd)
bin=$build/game/hollerquast
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$bin" ] || { echo "no game in this build"; exit 77; }

source "$(dirname "$0")/xvfb_common.sh"
ensure_xvfb "$0" "$@"

work=$(mktemp -d)
trap 'kill -9 "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 50 units a second at full speed: 800 frames of one second reach 30,000 units even when
# the push comes a few dozen frames late.
(cd / && TMPDIR="$work/" SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  "$bin" --seed 5 --frames 800 --frame-ms 1000 --shot "$work/far.bmp") &
pid=$!
confirm_software_box || true
win=$(wait_window 'Hollerquast( <pause>)?') || fail "no window captioned Hollerquast"
xdotool windowfocus --sync "$win"
for _ in 1 2 3 4; do xdotool mousemove_relative -- 0 -100; sleep 0.02; done
for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "still running after 60 s"
set +e; wait "$pid"; rc=$?; set -e
pid=
[ "$rc" = 0 ] || fail "exit code $rc"
[ -s "$work/far.bmp" ] || fail "no last frame saved"
[ -z "${HOLLERQUAST_SHOTS:-}" ] || cp "$work/far.bmp" "$HOLLERQUAST_SHOTS"/
share=$(python3 "$here/frame_check.py" ground "$work/far.bmp")
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) > 0.97 else 1)" "$share" ||
  fail "the lower view is not all ground after the long flight (ground share $share)"
echo "ok: after the long flight the ground fills the lower view (share $share)"
echo "1 passed, 0 failed"
