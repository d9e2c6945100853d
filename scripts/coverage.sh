#!/usr/bin/env bash
# Builds the project with gcov instrumentation into build-cov/ (or the folder given as $1), runs
# the whole CTest suite there and prints the line, function and branch coverage of the runtime,
# the game and the tools. gcovr comes from Debian's gcovr package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-cov}
command -v gcovr >/dev/null || { echo "coverage.sh needs gcovr (apt-get install gcovr)" >&2; exit 1; }
find "$dir" -name '*.gcda' -delete 2>/dev/null || true
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DTAVELOR_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage
(cd "$dir" && ctest -j"$(nproc)" --output-on-failure) || echo "coverage.sh: some tests failed" >&2
gcovr --root "$root" --object-directory "$dir" --filter "$root/runtime/src/" --filter "$root/game/" \
  --filter "$root/tools/" --exclude-unreachable-branches --exclude-throw-branches --gcov-ignore-parse-errors \
  --print-summary -o /dev/null "$dir"
