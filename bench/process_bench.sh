#!/usr/bin/env bash
# Whole-process reading, measured from outside with /usr/bin/time: the
# ceiling (parse_ceiling: map, tokenise, from_chars) on one and two threads,
# alone and storing every value in fresh memory (the floor of a reader that
# must end with the values in memory), against `orvanel --info` on one and
# two threads. Prints the median of N runs of
# wall, user and system seconds and minor page faults. System time and minor
# faults hold up on a loaded machine; wall and user time do not.
#
#   bench/process_bench.sh [BUILD] [N] FILE...
set -euo pipefail
build=${1:-build}
n=${2:-7}
shift 2
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
run() { # label, command...
  local label=$1 out
  shift
  out=$(mktemp)
  for _ in $(seq "$n"); do
    /usr/bin/time -f '%e %U %S %R' -a -o "$out" "$@" >/dev/null 2>&1
  done
  printf '  %-22s wall %6.3f s  user %6.3f s  sys %6.3f s  minor faults %8d\n' "$label" \
    "$(cut -d' ' -f1 "$out" | median)" "$(cut -d' ' -f2 "$out" | median)" \
    "$(cut -d' ' -f3 "$out" | median)" "$(cut -d' ' -f4 "$out" | median)"
  rm -f "$out"
}
for file in "$@"; do
  cat "$file" >/dev/null # into the page cache
  echo "$file ($(stat -c %s "$file") bytes), medians of $n runs:"
  run "ceiling (1 thread)" "$build/bench/parse_ceiling" "$file"
  run "ceiling (2 threads)" "$build/bench/parse_ceiling" --threads 2 "$file"
  run "ceiling+store (1)" "$build/bench/parse_ceiling" --store "$file"
  run "ceiling+store (2)" "$build/bench/parse_ceiling" --threads 2 --store "$file"
  run "--info, 1 thread" env ORVANEL_THREADS=1 "$build/src/orvanel" --info "$file"
  run "--info, 2 threads" env ORVANEL_THREADS=2 "$build/src/orvanel" --info "$file"
done
