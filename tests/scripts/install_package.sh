#!/usr/bin/env bash
# Installs the runtime into a scratch prefix and builds a separate game against it with
# find_package(Tavelor); the game must run and end with exit code 0.
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
cmake -S "$src/examples/standalone" -B "$work/game" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/game" -j2 >/dev/null
SDL_VIDEODRIVER=offscreen TMPDIR="$work/" timeout 60 "$work/game/mygame"
echo "1 passed, 0 failed"
