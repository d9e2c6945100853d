#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer,
# both stopping at the first finding) into build-fuzz/, writes their seed corpora, and runs
# each target for the given number of seconds (default 30), one after the other. Prints the
# executions and findings of every target; exits 1 when any target found something.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 60 fuzz_bmp fuzz_net_session
#
# Each target keeps its corpus, the inputs of its findings and its log in build-fuzz/run/<target>/.
# It runs in a temporary directory of its own (in memory when /dev/shm exists: the file
# targets write a file per input), where the error log is a link to /dev/null that the
# runtime refuses to follow, so the log cannot grow while fuzzing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
build="$root/build-fuzz"
"$root/scripts/setup.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DTAVELOR_BUILD_FUZZ=ON -DTAVELOR_BUILD_TESTS=OFF -DTAVELOR_BUILD_BENCH=OFF -DTAVELOR_BUILD_GAME=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1
# As in the test suite: leaks inside the system's graphics and sound libraries are not ours.
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
tmproot=$(mktemp -d "$( [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "$build")/tavelor-fuzz.XXXXXX")
trap 'rm -rf "$tmproot"' EXIT
summary=()
failed=0
for name in "${targets[@]}"; do
  target="$build/fuzz/$name"
  run="$build/run/$name"
  tmp="$tmproot/$name"
  mkdir -p "$run/corpus" "$run/findings" "$tmp"
  ln -sfn /dev/null "$tmp/ErrorLog.txt"
  inputs=("$run/corpus")
  [ -d "$build/seeds/${name#fuzz_}" ] && inputs+=("$build/seeds/${name#fuzz_}")
  [ -d "$root/fuzz/seeds/${name#fuzz_}" ] && inputs+=("$root/fuzz/seeds/${name#fuzz_}")
  echo "== $name (${seconds}s)"
  (cd "$tmp" && TMPDIR="$tmp" "$target" -max_total_time="$seconds" -print_final_stats=1 \
    -close_fd_mask=3 -timeout=30 -artifact_prefix="$run/findings/" "${inputs[@]}") >"$run/log" 2>&1 || true
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$run/log" | tail -1)
  findings=$(find "$run/findings" -type f | wc -l)
  [ "$findings" -gt 0 ] && failed=1 && grep -m3 -E "ERROR|runtime error|deadly signal" "$run/log" || true
  summary+=("$(printf '%-28s %12s execs %4d findings' "$name" "${execs:-?}" "$findings")")
done
echo
printf '%s\n' "${summary[@]}"
exit $failed
