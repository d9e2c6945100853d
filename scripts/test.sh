#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole suite; then builds it again
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs it once more; finally builds
# the test programs of the parts that run threads with ThreadSanitizer and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")

"$root/scripts/build.sh" "$root/build-asan" -DTAVELOR_SANITIZE=ON -DTAVELOR_BUILD_BENCH=OFF
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")

# The test programs that exercise threads (the session worker and the socket layer's
# handshakes, the sound callbacks and the video decoder); add a program here when its part
# starts threads of its own. The sound tests read an archive made by tavelor-pack.
tsan_tests=(tests_net tests_audio)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" -DTAVELOR_SANITIZE_THREAD=ON \
  -DTAVELOR_BUILD_BENCH=OFF -DTAVELOR_BUILD_GAME=OFF >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target "${tsan_tests[@]}" tavelor-pack
for t in "${tsan_tests[@]}"; do
  echo "== $t under ThreadSanitizer"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$root/tests/tsan.supp" "$root/build-tsan/tests/$t"
done
