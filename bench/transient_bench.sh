#!/usr/bin/env bash
# Transient results: what a step count costs. Prints a table; never fails on a figure.
#
#   bench/transient_bench.sh [BUILD] [STEPS...]
#     BUILD  build folder (default build)
#     STEPS  step counts to measure (default 1 100 500)
#   Environment:
#     CELLS=N        bricks per edge of the block (default 36: 50,653 nodes)
#     FORMATS="..."  formats of make_transient (default frd; also txt msh pvd)
#     WORK=DIR       where the files go (default a temporary folder, removed at the end)
#     RUNS=N         runs per figure, the fastest kept (default 1)
#     ORVANEL_MAX_STEPS=N  leave orvanel out above N steps (a reader that holds
#                    every step needs about 24 bytes a value: 500 steps of the
#                    block would need some 12 GB); cgx still runs
#
# For each format and step count it writes the block with
# BUILD/bench/make_transient, then measures whole processes with
# /usr/bin/time -v (wall seconds, peak resident memory):
#   info     orvanel --info FILE
#   picture  orvanel --picture of the last list (the last step's von Mises), 1024x768
#   history  orvanel --history of node 1 over that component in every step
#   cgx      CalculiX's viewer (cgx -b, .frd only, when installed): read the
#            file; read it and plot the last step's von Mises to a PNG
# The 500-step files are large (.frd about 3.5 GB, .txt about 6 GB): leave
# them out where the disk or the memory is short.
set -uo pipefail
build=${1:-build}
shift || true
steps_list=("$@")
[ ${#steps_list[@]} -eq 0 ] && steps_list=(1 100 500)
cells=${CELLS:-36}
formats=${FORMATS:-frd}
runs=${RUNS:-1}
orvanel_max_steps=${ORVANEL_MAX_STEPS:-0}
# Absolute: the history runs in the work folder, where it writes its list.
orvanel="$(cd "$build" && pwd)/src/orvanel"
maker="$(cd "$build" && pwd)/bench/make_transient"
for tool in "$orvanel" "$maker" /usr/bin/time; do
  if [ ! -x "$tool" ]; then
    echo "transient_bench: $tool is missing (build the project first)" >&2
    exit 1
  fi
done
cgx_bin=$(command -v cgx || true)
# cgx draws through GLUT even in batch mode: one virtual display for all its runs.
if [ -n "$cgx_bin" ] && [ -z "${DISPLAY:-}" ] && [ -z "${TRANSIENT_BENCH_X:-}" ] && command -v xvfb-run >/dev/null; then
  TRANSIENT_BENCH_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "${steps_list[@]}"
fi
[ -z "${DISPLAY:-}" ] && cgx_bin=""

if [ -n "${WORK:-}" ]; then
  work=$WORK
  mkdir -p "$work"
else
  work=$(mktemp -d /tmp/transient_bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
export LIBGL_ALWAYS_SOFTWARE=1

# measure LABEL command... -> "seconds megabytes" of the fastest of $runs runs
# (the peak memory of that run), or "fail fail".
measure() {
  local best_s="" best_mb="" s mb log
  log="$work/time.log"
  for _ in $(seq "$runs"); do
    if ! /usr/bin/time -v -o "$log" "$@" >"$work/out.log" 2>&1; then
      echo "fail fail"
      echo "  (failed: $* -- $(tail -n 2 "$work/out.log" | tr '\n' ' '))" >&2
      return
    fi
    s=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); t = 0; for (i = 1; i <= n; i++) t = t * 60 + p[i]; print t}' "$log")
    mb=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$log")
    if [ -z "$best_s" ] || awk -v a="$s" -v b="$best_s" 'BEGIN {exit !(a < b)}'; then
      best_s=$s
      best_mb=$mb
    fi
  done
  echo "$best_s $best_mb"
}

rows=()
for format in $formats; do
  for steps in "${steps_list[@]}"; do
    file="$work/block_${steps}.$format"
    if ! "$maker" --cells "$cells" --steps "$steps" --format "$format" "$file" >/dev/null; then
      echo "transient_bench: could not write $file" >&2
      continue
    fi
    size_mb=$(du -smc "$work"/block_"${steps}"[._]* | awk 'END {print $1}')
    info="- -"
    picture="- -"
    history="- -"
    lists="-"
    if [ "$orvanel_max_steps" -eq 0 ] || [ "$steps" -le "$orvanel_max_steps" ]; then
      lists=$(env -u DISPLAY "$orvanel" --info "$file" 2>/dev/null | awk '/^nlista / {print $2; exit}')
      if [ -z "$lists" ] || [ "$lists" -lt 1 ]; then
        echo "transient_bench: no result lists in $file" >&2
        continue
      fi
      per_step=$((lists / steps))
      info=$(measure env -u DISPLAY "$orvanel" --info "$file")
      picture=$(measure env -u DISPLAY "$orvanel" --picture "$work/last.png" --list "$lists" --size 1024x768 "$file")
      history=$(cd "$work" && measure env -u DISPLAY "$orvanel" --history 1 --lists "$per_step:$lists:$per_step" "$file")
    fi
    cgx_read="- -"
    cgx_picture="- -"
    if [ "$format" = frd ] && [ -n "$cgx_bin" ]; then
      printf 'read %s\nquit\n' "$file" >"$work/read.fbd"
      printf 'read %s\nds %d e 7\nplot fv all\nhcpy png\nquit\n' "$file" $((2 * steps)) >"$work/picture.fbd"
      cgx_read=$(cd "$work" && measure "$cgx_bin" -b read.fbd)
      cgx_picture=$(cd "$work" && measure "$cgx_bin" -b picture.fbd)
    fi
    rows+=("$format $steps $lists $size_mb $info $picture $history $cgx_read $cgx_picture")
    # The big files go as soon as they are measured.
    [ -z "${WORK:-}" ] && rm -f "$work"/block_"${steps}".* "$work"/block_"${steps}"_*.vtu "$work"/*.lst
  done
done

echo
echo "Block of ${cells}^3 8-node bricks ($(((cells + 1) ** 3)) nodes); seconds (wall) and peak MB per whole process"
printf '%-6s %6s %6s %8s | %8s %7s | %8s %7s | %8s %7s | %8s %7s | %8s %7s\n' \
  format steps lists file_MB info_s MB picture MB history MB cgx_read MB cgx_pic MB
for row in "${rows[@]}"; do
  # shellcheck disable=SC2086
  printf '%-6s %6s %6s %8s | %8s %7s | %8s %7s | %8s %7s | %8s %7s | %8s %7s\n' $row
done
