#!/usr/bin/env bash
# Hollerquast run from its packed archive alone: a copy of the game in an otherwise empty
# directory, started with --archive, shows the same first frames as the built game with its
# loose media; the same copy without the archive does not (so no loose file was found).
# Offscreen rendering, seeded ghosts, a few frames each. The loose runs are recorded and the
# packed runs replay them, so both see the same clock and must draw the same pixels.
set -euo pipefail
build=$2
bin=$build/game/hollerquast
pak=$build/game/hollerquast.pak
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$bin" ] && [ -s "$pak" ] || { echo "no game or no archive in this build"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
unset DISPLAY WAYLAND_DISPLAY

mkdir "$work/alone" "$work/tmp"
cp "$bin" "$pak" "$work/alone/"
game() {  # run-name frames game-binary options... -> $work/run-name.bmp
  local name=$1 frames=$2 exe=$3
  shift 3
  # Without a display the software-rendering message box cannot show; its complaints go to the log.
  local rc=0
  TMPDIR="$work/tmp/" timeout 60 "$exe" --seed 1234 --frames "$frames" --shot "$work/$name.bmp" "$@" \
    2>>"$work/stderr.txt" || rc=$?
  [ "$rc" = 0 ] || { cat "$work/stderr.txt"; fail "$name: exit code $rc"; }
  [ -s "$work/$name.bmp" ] || fail "$name: no frame saved"
}
for frames in 1 5; do
  TAVELOR_RECORD="$work/loose$frames.rec" TAVELOR_RECORD_CHECK=1 game "loose$frames" "$frames" "$bin"
  (cd "$work/alone" && TAVELOR_REPLAY="$work/loose$frames.rec" game "packed$frames" "$frames" ./hollerquast --archive hollerquast.pak)
done
(cd "$work/alone" && game bare 5 ./hollerquast)

left=$(ls "$work/alone" | tr '\n' ' ')
[ "$left" = "hollerquast hollerquast.pak " ] || fail "files left beside the game: $left"
[ -z "$(ls "$work/tmp" | grep '^~sbx' || true)" ] || fail "unpacked members left in the temporary directory"

# Replayed with the loose run's clock, every frame from the archive is the loose one, pixel for
# pixel (the replay compared each frame's checksum on its way).
for frames in 1 5; do
  cmp -s "$work/loose$frames.bmp" "$work/packed$frames.bmp" || fail "frame $frames from the archive differs from the loose one"
  echo "ok: frame $frames from the archive alone is the loose one, byte for byte"
done
bare=$(python3 "$here/frame_check.py" diff "$work/loose5.bmp" "$work/bare.bmp")
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) > 5 else 1)" "$bare" ||
  fail "without the archive the copy still shows the game's media (difference $bare)"
echo "ok: without the archive the copy shows no media (mean difference $bare)"
