#!/usr/bin/env bash
# Start-up of `orvanel --info` on a small file, whole process (exec to exit):
# the launcher, which links the reader only, against orvanel-app, which loads
# Qt, OpenGL and FFmpeg. Prints the median and the best of N runs.
#
#   bench/startup_bench.sh [BUILD] [N] [FILE]
set -euo pipefail
build=${1:-build}
n=${2:-100}
file=${3:-examples/viga.txt}
for program in "$build/src/orvanel" "$build/src/orvanel-app"; do
  times=()
  for _ in $(seq "$n"); do
    t0=$(date +%s%N)
    "$program" --info "$file" >/dev/null
    t1=$(date +%s%N)
    times+=("$(((t1 - t0) / 1000))")
  done
  printf '%s\n' "${times[@]}" | sort -n |
    awk -v p="$program" -v n="$n" '{t[NR] = $1} END {printf "%-28s --info: median %.4f s, best %.4f s (%d runs)\n", p, t[int((NR + 1) / 2)] / 1e6, t[1] / 1e6, n}'
done
