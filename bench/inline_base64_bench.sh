#!/usr/bin/env bash
# A compressed .vtu read from inline base64 against the same data appended:
# orvanel --info on each, paired by farm-bench (the ratio inline/appended;
# the target is at most 1.5). The files are written once into FOLDER.
#   bench/inline_base64_bench.sh BUILD_DIR FOLDER [NODES]
set -euo pipefail
build=$(cd "$1" && pwd)
folder=$2
nodes=${3:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$folder"
cd "$folder"
[ -e appended_zlib.vtu ] ||
  "$build/bench/make_result_file" --nodes "$nodes" --lists 4 --kind quad1 --format vtu --zlib appended_zlib.vtu
[ -e inline_zlib.vtu ] || /usr/bin/python3 "$here/vtu_to_inline.py" appended_zlib.vtu inline_zlib.vtu
orvanel=$build/orvanel
[ -x "$orvanel" ] || orvanel=$build/src/orvanel
farm-bench -n 5 --vs "$orvanel --info appended_zlib.vtu" -- "$orvanel" --info inline_zlib.vtu
