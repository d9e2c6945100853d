#!/usr/bin/env bash
# Builds the project with gcov instrumentation into build-cov/ (or the folder given as $1), runs
# the whole CTest suite there and prints the line, function and branch coverage of the runtime,
# the game and the tools. gcovr comes from Debian's gcovr package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-cov}
command -v gcovr >/dev/null || { echo "coverage.sh needs gcovr (apt-get install gcovr)" >&2; exit 1; }
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DTAVELOR_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage
# Only the suite counts, not the programs the build itself runs (the game's media generator).
find "$dir" -name '*.gcda' -delete
(cd "$dir" && ctest -j"$(nproc)" --output-on-failure) || echo "coverage.sh: some tests failed" >&2
# ccache may record sources relative to the folder each object was compiled in, so gcov runs
# once per CMake binary folder and the reports are merged.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
n=0
while read -r objects; do
  n=$((n + 1))
  gcovr --root "$root" --object-directory "$(dirname "$objects")" --gcov-ignore-parse-errors \
    --json "$tmp/$n.json" "$objects"
done < <(find "$dir" -mindepth 2 -type d -name CMakeFiles -prune)
gcovr --root "$root" --filter "$root/runtime/src/" --filter "$root/game/" --filter "$root/tools/" \
  --print-summary -o "$tmp/summary.txt" $(printf -- '--add-tracefile %s ' "$tmp"/*.json)
