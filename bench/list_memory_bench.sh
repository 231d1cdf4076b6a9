#!/usr/bin/env bash
# Memory and time of a native file as its number of lists grows: --info and
# --picture of the last list on files of N nodes with 1, 10, 100 and 500
# lists. Prints figures; never fails on a figure.
#
#   bench/list_memory_bench.sh [BUILD] [NODES] [LISTS...]
#     BUILD  build folder (default build)
#     NODES  nodes of the generated plate (default 50000)
#     LISTS  list counts (default 1 10 100 500)
#
# Each figure is the whole process (/usr/bin/time -v): wall seconds and peak
# resident memory; DISPLAY unset. ORVANEL_CACHE_MB is passed through.
set -euo pipefail
build=${1:-build}
nodes=${2:-50000}
shift $(($# > 2 ? 2 : $#))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 10 100 500)
orvanel="$build/src/orvanel"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1

measure() { # command... -> "SECONDS s, PEAK MiB"
  env -u DISPLAY /usr/bin/time -v "$@" >/dev/null 2>"$out/time.txt" || true
  awk '/Elapsed \(wall clock\)/ {n = split($NF, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]}
       /Maximum resident set size/ {kb = $NF}
       END {printf "%6.2f s %7.1f MiB", s, kb / 1024}' "$out/time.txt"
}

printf "%-7s %-10s %-26s %-26s\n" lists "file MiB" "--info" "--picture (last list)"
for l in "${counts[@]}"; do
  f="$out/plate_$l.txt"
  "$build/bench/make_result_file" --nodes "$nodes" --lists "$l" --kind quad1 "$f" >/dev/null
  size=$(awk -v b="$(stat -c %s "$f")" 'BEGIN {printf "%.1f", b / 1048576}')
  info=$(measure "$orvanel" --info "$f")
  picture=$(measure "$orvanel" --picture "$out/p.png" --list "$l" --size 800x600 "$f")
  printf "%-7s %-10s %-26s %-26s\n" "$l" "$size" "$info" "$picture"
  rm -f "$f"
done
