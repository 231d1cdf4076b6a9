#!/usr/bin/env bash
# Exodus II and XDMF reading against meshio and VTK's Exodus reader on the
# 1M-node block of make_heavy_data.py (wall time and peak memory of one read
# each; the files are written once into FOLDER).
#   bench/heavy_data_bench.sh BUILD_DIR FOLDER [STEPS]
# Memory against the number of steps: run it with STEPS 1 and 10 into two
# folders. meshio.read takes only the first step of an Exodus file (it warns
# "Skipping some time data"), so its Exodus rows stay those of one step;
# the XDMF row and VTK's reader read every step.
set -euo pipefail
build=$(cd "$1" && pwd)
folder=$2
steps=${3:-2}
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
[ -e "$folder/plate.xdmf" ] || "$py" "$here/make_heavy_data.py" "$folder" "$steps"
measure() { # label command...
  local label=$1 out
  shift
  local log
  log=$(mktemp)
  /usr/bin/time -o "$log" -f "%e %M" "$@" >/dev/null 2>&1 || echo "$label: failed" >&2
  out=$(tail -1 "$log")
  rm -f "$log"
  printf '%-34s %6s s %7s MB\n' "$label" "${out% *}" "$(( ${out#* } / 1024 ))"
}
cd "$folder"
for f in plate_nc4.exo plate_64.exo plate.xdmf; do
  measure "$f orvanel --info" "$build/src/orvanel" --info "$f"
done
for f in plate_nc4.exo plate_64.exo; do
  measure "$f meshio.read" "$py" -c "import meshio,sys; meshio.read(sys.argv[1])" "$f"
done
# meshio reads a time series's mesh and then each step.
measure "plate.xdmf meshio TimeSeriesReader" "$py" -c "
import sys, meshio
r = meshio.xdmf.TimeSeriesReader(sys.argv[1]); r.read_points_cells()
for k in range(r.num_steps): r.read_data(k)" plate.xdmf
for f in plate_nc4.exo plate_64.exo; do
  measure "$f vtkExodusIIReader" "$py" -c "
import sys, vtk
r = vtk.vtkExodusIIReader(); r.SetFileName(sys.argv[1]); r.UpdateInformation()
r.SetAllArrayStatus(vtk.vtkExodusIIReader.NODAL, 1)
for s in range(r.GetNumberOfTimeSteps()):
    r.SetTimeStep(s); r.Update()" "$f"
done
