#!/usr/bin/python3
"""Writes the 1M-node files of the Exodus/XDMF reading benchmark: a block of
99 x 99 x 99 hexahedra (100 x 100 x 100 nodes) with STEPS steps of a
displacement (DISPLX/Y/Z, or u in XDMF) and a temperature, as Exodus II
(netCDF-4 and 64-bit offset) and as XDMF with HDF5 heavy data (meshio's
TimeSeriesWriter).

    make_heavy_data.py FOLDER [STEPS]
"""
import importlib.util
import os
import sys

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
fixture_module = importlib.util.spec_from_file_location(
    "fixtures", os.path.join(here, "..", "tests", "data", "import", "exodus", "make_exodus_fixtures.py"))
fixtures = importlib.util.module_from_spec(fixture_module)
fixture_module.loader.exec_module(fixtures)

folder = sys.argv[1]
steps = int(sys.argv[2]) if len(sys.argv) > 2 else 2
os.makedirs(folder, exist_ok=True)
os.chdir(folder)
n = 100
g = np.arange(n, dtype=float)
z, y, x = np.meshgrid(g, g, g, indexing="ij")
pts = np.stack([x.ravel(), y.ravel(), z.ravel()], axis=1)
idx = np.arange(n ** 3).reshape(n, n, n)
c = idx[:-1, :-1, :-1]
hexes = np.stack([c, c + 1, c + 1 + n, c + n, c + n * n, c + 1 + n * n, c + 1 + n + n * n, c + n + n * n],
                 axis=-1).reshape(-1, 8)
times = [float(s) for s in range(steps)]
vals = {"DISPLX": [1e-3 * pts[:, 0] * (s + 1) for s in range(steps)],
        "DISPLY": [2e-3 * pts[:, 1] * (s + 1) for s in range(steps)],
        "DISPLZ": [-1e-3 * pts[:, 2] * (s + 1) for s in range(steps)],
        "TEMP": [pts[:, 0] + pts[:, 1] + s for s in range(steps)]}
for name, fmt in (("plate_nc4.exo", "NETCDF4"), ("plate_64.exo", "NETCDF3_64BIT_OFFSET")):
    fixtures.write_exodus(name, fmt, pts, [(1, "block", "HEX8", hexes + 1)], times, vals)

import meshio  # noqa: E402

with meshio.xdmf.TimeSeriesWriter("plate.xdmf") as w:
    w.write_points_cells(pts, [("hexahedron", hexes)])
    for s, t in enumerate(times):
        w.write_data(t, point_data={"u": np.stack([vals["DISPLX"][s], vals["DISPLY"][s], vals["DISPLZ"][s]],
                                                  axis=1), "TEMP": vals["TEMP"][s]})
