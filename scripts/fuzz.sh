#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# on) into build-fuzz/ and runs each for the given number of seconds (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
"$root/scripts/setup.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVELOR_BUILD_FUZZ=ON -DTAVELOR_BUILD_TESTS=OFF -DTAVELOR_BUILD_BENCH=OFF -DTAVELOR_BUILD_GAME=OFF >/dev/null
cmake --build "$root/build-fuzz" -j"$(nproc)"
for target in "$root"/build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$root/build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/seeds/${name#fuzz_}"
  echo "== $name (${seconds}s)"
  if [ -d "$seeds" ]; then
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$seeds"
  else
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus"
  fi
done
