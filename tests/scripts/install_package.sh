#!/usr/bin/env bash
# Installs the runtime into a scratch prefix and builds separate games against it with
# find_package(Tavelor): the standalone game must run and end with exit code 0, and each
# example must run headless for a few frames and save a frame that shows what it must.
set -euo pipefail
src=$1
build=$2
if grep -q '^TAVELOR_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "sanitizer build: the installed package is checked by the plain build"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/tavelor/tavelor.h"

build_game() {  # example folder name -> its build folder
  cmake -S "$src/examples/$1" -B "$work/$1" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
  cmake --build "$work/$1" -j2 >/dev/null
}
run() {  # program and arguments, headless, with its own temporary directory
  SDL_VIDEODRIVER=offscreen TMPDIR="$work/" timeout 60 "$@"
}

build_game standalone
run "$work/standalone/mygame"
passed=1

font=$work/prefix/bin/smalfont.bmp
test -f "$font" || { echo "FAIL: the package holds no default font"; exit 1; }
check="python3 $src/tests/scripts/example_frames.py"

build_game bounce
run "$work/bounce/bounce" --frames 150 --shot "$work/bounce.bmp" >"$work/bounce.out"
$check bounce "$work/bounce.bmp" "$font" "$work/bounce.out"
passed=$((passed + 1))

build_game pathfind
run "$work/pathfind/pathfind" --frames 3 --shot "$work/pathfind.bmp" >"$work/pathfind.out"
$check pathfind "$work/pathfind.bmp" "$font" "$work/pathfind.out"
passed=$((passed + 1))

# Viewer: a torus made with the object builder, saved, loaded back and lit; a second run
# turned the other way must show it turned.
build_game viewer
run "$work/viewer/viewer" --turn 30 60 --frames 3 --shot "$work/viewer.bmp"
test -s "$work/viewer/torus.ddd"
run "$work/viewer/viewer" --turn 120 60 --frames 3 --shot "$work/turned.bmp"
$check viewer "$work/viewer.bmp" "$font" "$work/turned.bmp" "torus.ddd: move the mouse to turn, wheel to zoom"
# The mouse turns it: a scripted session of mouse motion, replayed by the installed runtime with
# the installed tavelor-replay's recording. Unmoved, that frame equals the first one.
(cd "$work" && TMPDIR="$work/" \
  python3 "$src/tests/scripts/viewer_mouse.py" "$work/viewer/viewer" "$work/prefix/bin/tavelor-replay" "$work/mouse.bmp")
$check viewer "$work/mouse.bmp" "$font" "$work/viewer.bmp" "torus.ddd: move the mouse to turn, wheel to zoom"
passed=$((passed + 1))

# Chat: a host and a guest process on one machine, on a port picked at random (retried
# when the host cannot have it).
build_game chat
host_lines="Welcome, guest!|Bye, see you."
guest_lines="Hello host, anybody there?|Thanks, bye!"
for attempt in 1 2 3; do
  port=$((20000 + RANDOM % 20000))
  run "$work/chat/chat" host --port $port --say "$host_lines" --frames 10 --shot "$work/host.bmp" \
    >"$work/host.out" 2>&1 &
  host=$!
  for _ in $(seq 1 100); do
    grep -q "ready" "$work/host.out" && break
    kill -0 $host 2>/dev/null || break
    sleep 0.1
  done
  grep -q "ready" "$work/host.out" && break
  wait $host || true
done
run "$work/chat/chat" join --port $port --say "$guest_lines" --frames 10 --shot "$work/guest.bmp" \
  >"$work/guest.out" 2>&1
wait $host
lines=("guest: Hello host, anybody there?" "host: Welcome, guest!" "guest: Thanks, bye!" "host: Bye, see you.")
$check chat "$work/host.bmp" "$font" "Chat host, port $port" "${lines[@]}"
$check chat "$work/guest.bmp" "$font" "Chat guest of this machine, port $port" "${lines[@]}"
passed=$((passed + 1))
echo "$passed passed, 0 failed"
