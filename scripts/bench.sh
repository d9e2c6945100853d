#!/usr/bin/env bash
# Runs every benchmark and prints the README's benchmark table, with the machine it ran on and
# its load before and after. Usage: scripts/bench.sh [build folder]  (default build/).
# Each benchmark's full output goes to standard error; the table to standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
machine="$cpu, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB, $(uname -sr)"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
rows=()
renderer=unknown
loads=()
for name in pacing pathfinding storage net mesh collision sprites values scene video game record; do
  exe="$dir/bench/bench_$name"
  if [[ ! -x $exe ]]; then
    echo "bench_$name: not built" >&2
    continue
  fi
  load=$(cut -d' ' -f1 /proc/loadavg)
  loads+=("$name $load")
  echo "== bench_$name (load $load)" >&2
  if out=$("$exe" 2>&1); then
    printf '%s\n' "$out" >&2
    r=$(printf '%s\n' "$out" | sed -n 's/^renderer: //p')
    [[ -n $r ]] && renderer=$r
    found=$(printf '%s\n' "$out" | grep '^| `bench_' || true)
    # A benchmark without a table row of its own: its closing summary line stands in the row.
    [[ -n $found ]] || found="| \`bench_$name\` | $(printf '%s\n' "$out" | grep -v '^ *$' | tail -n1) | | |"
    while IFS= read -r line; do rows+=("$line"); done <<<"$found"
  else
    printf '%s\n' "$out" >&2
    rows+=("| \`bench_$name\` | failed | | see its output |")
  fi
done
echo "- Machine: $machine; renderer $renderer."
echo "- Load average (1, 5, 15 min): $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after;"
echo "- 1-minute load as each benchmark started: $(IFS=,; echo "${loads[*]}" | sed 's/,/, /g')."
echo "- Figures: median (first-third quartile) of interleaved rounds."
echo
echo "| Benchmark | Ours | Reference | Ratio |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
