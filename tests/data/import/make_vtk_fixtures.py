# Writes the legacy VTK fixtures of this folder with VTK's own writer (Debian's
# python3-vtk9) and meshio (python3-meshio):
#   cd tests/data/import && /usr/bin/python3 make_vtk_fixtures.py
# Every value is a formula of the point's position, so that the tests can
# check it by hand:
#   T (scalar)      = x + 10 y + 100 z
#   U (vector)      = (0.1 x, 0.2 y, 0.3 z)            the displacement
#   S (cell tensor) = cell id c: XX = c, YY = 2c, ZZ = 3c, XY = YX = 0.5c, rest 0
#   P (cell scalar) = 10 c
import meshio
import numpy as np
import vtk


def block(n):
    """An n x n x n block of unit hexahedra."""
    pts = vtk.vtkPoints()
    m = n + 1
    for k in range(m):
        for j in range(m):
            for i in range(m):
                pts.InsertNextPoint(i, j, k)
    grid = vtk.vtkUnstructuredGrid()
    grid.SetPoints(pts)

    def pid(i, j, k):
        return i + m * (j + m * k)
    for k in range(n):
        for j in range(n):
            for i in range(n):
                ids = [pid(i, j, k), pid(i + 1, j, k), pid(i + 1, j + 1, k), pid(i, j + 1, k),
                       pid(i, j, k + 1), pid(i + 1, j, k + 1), pid(i + 1, j + 1, k + 1), pid(i, j + 1, k + 1)]
                grid.InsertNextCell(vtk.VTK_HEXAHEDRON, 8, ids)
    return grid


def add_fields(ds):
    t = vtk.vtkDoubleArray()
    t.SetName("T")
    u = vtk.vtkFloatArray()
    u.SetName("U")
    u.SetNumberOfComponents(3)
    for p in range(ds.GetNumberOfPoints()):
        x, y, z = ds.GetPoint(p)
        t.InsertNextValue(x + 10 * y + 100 * z)
        u.InsertNextTuple3(0.1 * x, 0.2 * y, 0.3 * z)
    ds.GetPointData().SetScalars(t)
    ds.GetPointData().SetVectors(u)
    s = vtk.vtkDoubleArray()
    s.SetName("S")
    s.SetNumberOfComponents(9)
    pc = vtk.vtkDoubleArray()
    pc.SetName("P")
    for c in range(ds.GetNumberOfCells()):
        s.InsertNextTuple9(c, 0.5 * c, 0, 0.5 * c, 2 * c, 0, 0, 0, 3 * c)
        pc.InsertNextValue(10 * c)
    ds.GetCellData().SetTensors(s)
    ds.GetCellData().AddArray(pc)


def write(ds, writer_class, name, binary, version):
    w = writer_class()
    w.SetInputData(ds)
    w.SetFileName(name)
    if binary:
        w.SetFileTypeToBinary()
    else:
        w.SetFileTypeToASCII()
    if version == 42:
        w.SetFileVersion(42)
    w.Write()


grid = block(2)
add_fields(grid)
write(grid, vtk.vtkUnstructuredGridWriter, "block_ascii_42.vtk", False, 42)
write(grid, vtk.vtkUnstructuredGridWriter, "block_ascii_51.vtk", False, 51)
write(grid, vtk.vtkUnstructuredGridWriter, "block_binary_42.vtk", True, 42)
write(grid, vtk.vtkUnstructuredGridWriter, "block_binary_51.vtk", True, 51)

# Poly data: two triangles as a strip, a pentagon, a poly-line and a vertex,
# with cell data in VTK's cell order (vertices, lines, polygons, strips).
poly = vtk.vtkPolyData()
pts = vtk.vtkPoints()
for p in [(0, 0, 0), (1, 0, 0), (0, 1, 0), (1, 1, 0), (2, 0, 0), (3, 1, 0), (2, 2, 0)]:
    pts.InsertNextPoint(p)
poly.SetPoints(pts)
verts = vtk.vtkCellArray()
verts.InsertNextCell(1, [6])
lines = vtk.vtkCellArray()
lines.InsertNextCell(3, [0, 1, 4])
polys = vtk.vtkCellArray()
polys.InsertNextCell(5, [1, 4, 5, 6, 3])
strips = vtk.vtkCellArray()
strips.InsertNextCell(4, [0, 1, 2, 3])
poly.SetVerts(verts)
poly.SetLines(lines)
poly.SetPolys(polys)
poly.SetStrips(strips)
add_fields(poly)
write(poly, vtk.vtkPolyDataWriter, "poly_ascii.vtk", False, 51)
write(poly, vtk.vtkPolyDataWriter, "poly_binary_42.vtk", True, 42)

# Two quadratic tetrahedra sharing a face, curved, through meshio (FIELD
# arrays for the point data), ASCII and binary.
corners = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, -1]], dtype=float)
edges = [(0, 1), (1, 2), (2, 0), (0, 3), (1, 3), (2, 3)]
points = list(corners)
mid = {}


def mid_of(a, b):
    key = (min(a, b), max(a, b))
    if key not in mid:
        mid[key] = len(points)
        points.append((corners[a] + corners[b]) / 2 + 0.1)
    return mid[key]


cells = []
for v in ([0, 1, 2, 3], [0, 2, 1, 4]):
    cells.append(v + [mid_of(v[a], v[b]) for a, b in edges])
points = np.array(points)
temp = points[:, 0] + 10 * points[:, 1] + 100 * points[:, 2]
mesh = meshio.Mesh(points, [("tetra10", np.array(cells))], point_data={"T": temp, "displacement": 0.1 * points})
mesh.write("tet10_meshio_ascii.vtk", file_format="vtk", binary=False)
mesh.write("tet10_meshio_binary.vtk", file_format="vtk", binary=True)

# A file cut inside its point coordinates: the reader warns and reads 0.
with open("block_ascii_42.vtk", "rb") as f:
    text = f.read()
cut = text.index(b"POINTS")
cut = text.index(b"\n", cut) + 1
cut = text.index(b"\n", cut) + 1
with open("block_cut_points.vtk", "wb") as f:
    f.write(text[:cut + 10])
