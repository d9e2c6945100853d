#!/usr/bin/env bash
# The SDK as a user installs it: the Debian package tavelor-sdk is made by CPack from this build,
# unpacked into a scratch root (dpkg -x) and used from there. Its version must be what the
# package, tavelor-pack --version and the CMake package state, a too-new version request must
# fail, and it must depend on the Debian package of every library a game links.
# The starter project and the examples are built against it, with CMake and, for pathfind,
# with pkg-config and plain c++; each example runs headless and saves a frame that must show
# what it must.
set -euo pipefail
src=$1
build=$2
if grep -q '^TAVELOR_SANITIZE\(_THREAD\)\?:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "sanitizer build: the package is checked by the plain build"
  exit 77
fi
command -v dpkg-deb >/dev/null && command -v cpack >/dev/null || { echo "no dpkg-deb or cpack"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/deb" -D CPACK_COMPONENTS_ALL=sdk -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >/dev/null)
deb=$(ls "$work"/deb/tavelor-sdk_*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
version=$(dpkg-deb -f "$deb" Version)
[ "$("$usr/bin/tavelor-pack" --version)" = "tavelor-pack $version" ] || fail "tavelor-pack --version is not $version"
pc=$(find "$usr/lib" -name tavelor.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion tavelor)" = "$version" ] || fail "tavelor.pc has another version than $version"
# Every library a game links (pkg-config --libs) comes from a package the SDK depends on.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in $(pkg-config --libs-only-l tavelor | tr ' ' '\n' | sed -n 's/^-l//p' | grep -vx 'tavelor\|dl\|pthread'); do
  owner=$(dpkg -S "$(realpath -s "$(c++ -print-file-name="lib$lib.so")")" | cut -d: -f1)
  [[ ", $depends," == *", $owner"[,\ ]* ]] || fail "Depends lacks $owner (for -l$lib): $depends"
done
font=$(pkg-config --variable=fontfile tavelor)
[ -s "$font" ] || fail "the package holds no default font"
passed=1

# find_package: the CMake package's version is the package's; a newer major version is refused.
major=${version%%.*}
mkdir -p "$work/ask"
for asked in "$version" "$((major + 1)).0"; do
  printf 'cmake_minimum_required(VERSION 3.25)\nproject(Ask LANGUAGES C CXX)\nfind_package(Tavelor %s REQUIRED)\nmessage(STATUS "found ${Tavelor_VERSION}")\n' \
    "$asked" >"$work/ask/CMakeLists.txt"
  if cmake -S "$work/ask" -B "$work/ask/build-$asked" -DCMAKE_PREFIX_PATH="$usr" >"$work/ask.out" 2>&1; then
    [ "$asked" = "$version" ] || fail "find_package(Tavelor $asked) accepted version $version"
    grep -q "found $version" "$work/ask.out" || fail "Tavelor_VERSION is not $version"
  else
    [ "$asked" != "$version" ] || { cat "$work/ask.out"; fail "find_package(Tavelor $version) failed"; }
    grep -q "requested version \"$asked\"" "$work/ask.out" || fail "unclear refusal of version $asked"
  fi
done
passed=$((passed + 1))

build_game() {  # CMake project folder, its build folder
  cmake -S "$1" -B "$2" -DCMAKE_PREFIX_PATH="$usr" >/dev/null
  cmake --build "$2" -j2 >/dev/null
}
run() {  # program and arguments, headless, with its own temporary directory
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TMPDIR="$work/" timeout 60 "$@"
}
check="python3 $src/tests/scripts/example_frames.py"

# The starter project, copied as its README says, runs until it is stopped.
cp -r "$usr/share/tavelor/template" "$work/mygame"
build_game "$work/mygame" "$work/mygame/build"
status=0
SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TMPDIR="$work/" timeout 3 "$work/mygame/build/mygame" || status=$?
[ $status -eq 124 ] || fail "the starter project ended with status $status before it was stopped"
grep -q "Current Dir" "$work/ErrorLog.txt" || fail "the starter project did not start the runtime"
passed=$((passed + 1))

build_game "$src/examples/bounce" "$work/bounce"
run "$work/bounce/bounce" --frames 150 --shot "$work/bounce.bmp" >"$work/bounce.out"
$check bounce "$work/bounce.bmp" "$font" "$work/bounce.out"
passed=$((passed + 1))

# Path finding with pkg-config and the compiler alone.
mkdir -p "$work/pathfind"
# shellcheck disable=SC2046
c++ -std=c++20 -O1 "$src/examples/pathfind/main.cpp" -o "$work/pathfind/pathfind" $(pkg-config --cflags --libs tavelor)
cp "$font" "$work/pathfind/"
run "$work/pathfind/pathfind" --frames 3 --shot "$work/pathfind.bmp" >"$work/pathfind.out"
$check pathfind "$work/pathfind.bmp" "$font" "$work/pathfind.out"
passed=$((passed + 1))

# Viewer: a torus made with the object builder, saved, loaded back and lit; a second run
# turned the other way must show it turned.
build_game "$src/examples/viewer" "$work/viewer"
run "$work/viewer/viewer" --turn 30 60 --frames 3 --shot "$work/viewer.bmp"
test -s "$work/viewer/torus.ddd"
run "$work/viewer/viewer" --turn 120 60 --frames 3 --shot "$work/turned.bmp"
$check viewer "$work/viewer.bmp" "$font" "$work/turned.bmp" "torus.ddd: move the mouse to turn, wheel to zoom"
# The mouse turns it: under an X server, with motion injected by xdotool. Unmoved, that
# frame equals the first one. -noreset: a server that resets when its last client leaves
# would refuse the viewer's connection for a moment.
(cd "$work" && TMPDIR="$work/" xvfb-run -a -n $((100 + RANDOM % 800)) -s "-noreset -screen 0 1024x768x24" \
  python3 "$src/tests/scripts/viewer_mouse.py" "$work/viewer/viewer" "$work/mouse.bmp")
$check viewer "$work/mouse.bmp" "$font" "$work/viewer.bmp" "torus.ddd: move the mouse to turn, wheel to zoom"
passed=$((passed + 1))

# Chat: a host and a guest process on one machine, on a port picked at random (retried
# when the host cannot have it).
build_game "$src/examples/chat" "$work/chat"
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
