#!/usr/bin/env bash
# Batch modes against the viewer on one large result file. Prints figures;
# never fails on a figure.
#
#   bench/batch_bench.sh [BUILD] [FILE]
#     BUILD  build folder (default build)
#     FILE   result file with >= 10 lists (default /tmp/big.txt; make it with
#            BUILD/bench/make_result_file --nodes 1000000 --lists 10 --kind quad1 /tmp/big.txt)
#
# Figures (every orvanel run is whole-process wall time, with DISPLAY unset):
#   --picture of list 1 (1024x768) against --info + the viewer's compiling
#   pass of that list (render_pass_bench, xvfb-run, Mesa's software renderer);
#   --video over lists 1..10 per frame (its time less one --info, over the 10
#   frames) against the viewer's generator per frame (video_generator_bench,
#   whose 3D view is 807x721, the size the batch video is given here).
set -euo pipefail
build=${1:-build}
file=${2:-/tmp/big.txt}
orvanel="$build/src/orvanel"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1

seconds() { # command... -> wall seconds of the whole process
  local t0 t1
  t0=$(date +%s%N)
  env -u DISPLAY "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", (b - a) / 1e9}'
}
best_of() { # n command... -> best wall seconds of n runs
  local n=$1 best="" t
  shift
  for _ in $(seq "$n"); do
    t=$(seconds "$@")
    best=$(awk -v a="$t" -v b="${best:-$t}" 'BEGIN {print (a < b ? a : b)}')
  done
  echo "$best"
}
calc() { awk "BEGIN {printf \"%.3f\", $1}"; }

info=$(best_of 3 "$orvanel" --info "$file")
picture=$(best_of 3 "$orvanel" --picture "$out/p.png" --list 1 --size 1024x768 "$file")
compile=$(QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1200x24" \
  "$build/bench/render_pass_bench" "$file" --list 1 --repeat 1 --size 1024x768 2>/dev/null |
  awk '/^continuous:/ {c = 1} c && /compiling pass/ {print $3 / 1000; exit}')
echo "file $file"
echo "  --info                             $info s"
echo "  viewer compiling pass, list 1      $compile s"
echo "  --picture --list 1 (1024x768)      $picture s = $(calc "$picture / ($info + $compile)") x (--info + compiling pass)"

video=$(seconds "$orvanel" --video "$out/v.avi" --lists 1:10 --size 807x721 "$file")
generator=$(QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1200x24" \
  "$build/bench/video_generator_bench" "$file" 1 10 1 2>/dev/null |
  awk '/^run:/ {for (i = 1; i <= NF; ++i) if ($i == "per" && $(i + 1) == "frame") {print $(i - 2); exit}}')
per_frame=$(calc "($video - $info) / 10")
echo "  --video --lists 1:10 (807x721)     $video s = $per_frame s per frame after reading"
echo "  viewer generator                   $generator s per frame; batch / viewer = $(calc "$per_frame / $generator")"
