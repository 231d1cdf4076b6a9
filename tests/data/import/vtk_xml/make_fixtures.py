#!/usr/bin/python3
"""Writes the VTK XML fixtures of the reader tests with VTK's own writers.

Run from this folder with Debian's python3-vtk9:  /usr/bin/python3 make_fixtures.py
The tests need only the files it writes, not VTK.

The mesh: two unit hexahedra side by side along x (12 points, point i at
x = i % 3, y = (i // 3) % 2, z = i // 6). Point data "u" = (0.1 x, 0.2 y,
0.3 z) + step / 10 on x, "temp" (Float32) = 100 + i, cell data "pressure"
(Int32) = 7 * (cell + 1). The "types" file also holds one array per numeric
type with the value (i % 5) - 2 for signed types and i for the others.
"""
import vtk
from vtk.util import numpy_support as ns
import numpy as np

def grid(step=0, cells=(0, 1), with_types=False):
    pts = vtk.vtkPoints()
    pts.SetDataTypeToDouble()
    for i in range(12):
        pts.InsertNextPoint(i % 3, (i // 3) % 2, i // 6)
    g = vtk.vtkUnstructuredGrid()
    g.SetPoints(pts)
    hexes = [(0, 1, 4, 3, 6, 7, 10, 9), (1, 2, 5, 4, 7, 8, 11, 10)]
    for c in cells:
        ids = vtk.vtkIdList()
        for n in hexes[c]:
            ids.InsertNextId(n)
        g.InsertNextCell(vtk.VTK_HEXAHEDRON, ids)
    xyz = np.array([[i % 3, (i // 3) % 2, i // 6] for i in range(12)], dtype=float)
    u = xyz * np.array([0.1, 0.2, 0.3])
    u[:, 0] += step / 10.0
    ua = ns.numpy_to_vtk(u, deep=1)
    ua.SetName("u")
    ua.SetComponentName(0, "ux")
    ua.SetComponentName(1, "uy")
    ua.SetComponentName(2, "uz")
    g.GetPointData().AddArray(ua)
    t = ns.numpy_to_vtk(np.array([100 + i for i in range(12)], dtype=np.float32), deep=1)
    t.SetName("temp")
    g.GetPointData().AddArray(t)
    p = ns.numpy_to_vtk(np.array([7 * (c + 1) for c in cells], dtype=np.int32), deep=1)
    p.SetName("pressure")
    g.GetCellData().AddArray(p)
    if with_types:
        for name, dt, signed in [("i8", np.int8, 1), ("u8", np.uint8, 0), ("i16", np.int16, 1),
                                 ("u16", np.uint16, 0), ("i32", np.int32, 1), ("u32", np.uint32, 0),
                                 ("i64", np.int64, 1), ("u64", np.uint64, 0), ("f32", np.float32, 1),
                                 ("f64", np.float64, 1)]:
            v = np.array([(i % 5) - 2 if signed else i for i in range(12)], dtype=dt)
            a = ns.numpy_to_vtk(v, deep=1, array_type=ns.get_vtk_array_type(dt))
            a.SetName(name)
            g.GetPointData().AddArray(a)
    return g

def write(name, g, mode, compressor=None, header=64, encode=False, big=False, polydata=False):
    if polydata:
        f = vtk.vtkGeometryFilter()
        f.SetInputData(g)
        f.Update()
        w = vtk.vtkXMLPolyDataWriter()
        w.SetInputData(f.GetOutput())
    else:
        w = vtk.vtkXMLUnstructuredGridWriter()
        w.SetInputData(g)
    w.SetFileName(name)
    {"ascii": w.SetDataModeToAscii, "binary": w.SetDataModeToBinary,
     "appended": w.SetDataModeToAppended}[mode]()
    w.SetEncodeAppendedData(1 if encode else 0)
    {None: w.SetCompressorTypeToNone, "zlib": w.SetCompressorTypeToZLib,
     "lz4": w.SetCompressorTypeToLZ4, "lzma": w.SetCompressorTypeToLZMA}[compressor]()
    if header == 64:
        w.SetHeaderTypeToUInt64()
    else:
        w.SetHeaderTypeToUInt32()
    if big:
        w.SetByteOrderToBigEndian()
    else:
        w.SetByteOrderToLittleEndian()
    assert w.Write() == 1, name

g = grid()
write("ascii.vtu", g, "ascii")
write("binary32.vtu", g, "binary", header=32)
write("binary64_zlib.vtu", g, "binary", "zlib", header=64)
write("appended_raw32.vtu", g, "appended", header=32)
write("appended_raw64_zlib.vtu", g, "appended", "zlib", header=64)
write("appended_base64.vtu", g, "appended", encode=True, header=64)
write("appended_base64_zlib32.vtu", g, "appended", "zlib", header=32, encode=True)
write("appended_lz4.vtu", g, "appended", "lz4")
write("binary_lzma.vtu", g, "binary", "lzma")
write("big_endian.vtu", g, "appended", header=64, big=True)
write("types.vtu", grid(with_types=True), "binary", "zlib")
write("surface.vtp", g, "appended", "zlib", polydata=True)

# A series of three steps, listed out of time order, on one mesh.
for s in range(3):
    write("series_%d.vtu" % s, grid(step=s), "appended", "zlib")
with open("series.pvd", "w") as f:
    f.write('<?xml version="1.0"?>\n<VTKFile type="Collection" version="0.1">\n<Collection>\n'
            '  <DataSet timestep="1.0" part="0" file="series_2.vtu"/>\n'
            '  <DataSet timestep="0" part="0" file="series_0.vtu"/>\n'
            '  <DataSet timestep="0.5" part="0" file="series_1.vtu"/>\n'
            '</Collection>\n</VTKFile>\n')

# Two pieces, one hexahedron each, sharing the face at x = 1.
for k in range(2):
    write("split_%d.vtu" % k, grid(cells=(k,)), "appended", "zlib")
with open("split.pvtu", "w") as f:
    f.write('<?xml version="1.0"?>\n<VTKFile type="PUnstructuredGrid" version="1.0" byte_order="LittleEndian" '
            'header_type="UInt64">\n<PUnstructuredGrid GhostLevel="0">\n'
            '<PPointData><PDataArray type="Float64" Name="u" NumberOfComponents="3"/>'
            '<PDataArray type="Float32" Name="temp"/></PPointData>\n'
            '<PCellData><PDataArray type="Int32" Name="pressure"/></PCellData>\n'
            '<PPoints><PDataArray type="Float64" NumberOfComponents="3"/></PPoints>\n'
            '<Piece Source="split_0.vtu"/>\n<Piece Source="split_1.vtu"/>\n'
            '</PUnstructuredGrid>\n</VTKFile>\n')

# Each file read back by VTK, as a check of this script.
for name in ["ascii.vtu", "binary64_zlib.vtu", "appended_raw32.vtu", "big_endian.vtu", "appended_lz4.vtu",
             "binary_lzma.vtu", "appended_base64_zlib32.vtu"]:
    r = vtk.vtkXMLUnstructuredGridReader()
    r.SetFileName(name)
    r.Update()
    assert r.GetOutput().GetNumberOfPoints() == 12, name
r = vtk.vtkXMLPUnstructuredGridReader()
r.SetFileName("split.pvtu")
r.Update()
assert r.GetOutput().GetNumberOfCells() == 2
