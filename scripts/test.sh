#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole suite; then builds it again
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs it once more.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")

"$root/scripts/build.sh" "$root/build-asan" -DTAVELOR_SANITIZE=ON -DTAVELOR_BUILD_BENCH=OFF
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")
