#!/usr/bin/python3
# Small hand-made files that show faults the readers once had (plain Python,
# no solver needed):   cd tests/data/import/faults && python3 make_fixtures.py
import struct

# The sparse Gmsh mesh of ../gmsh/make_fixtures.py: two quads and a triangle.
nodes = [(10, 0, 0, 0), (20, 1, 0, 0), (35, 2, 0, 0), (40, 0, 1, 0), (57, 1, 1, 0), (70, 2, 1, 0)]
elems = [(100, 3, [10, 20, 57, 40]), (300, 3, [20, 35, 70, 57]), (7, 2, [40, 57, 10])]

def u(x, y):
    return (0.1 * x + 1, 0.2 * y + 1, 3.0)

# One view and step in two binary $NodeData blocks, as partitioned output
# writes it: each block holds half of the nodes.
with open("split_view_22_bin.msh", "wb") as f:
    f.write(b"$MeshFormat\n2.2 1 8\n" + struct.pack("<i", 1) + b"\n$EndMeshFormat\n")
    f.write(b"$Nodes\n%d\n" % len(nodes))
    for n in nodes:
        f.write(struct.pack("<iddd", *n))
    f.write(b"\n$EndNodes\n$Elements\n%d\n" % len(elems))
    f.write(struct.pack("<iii", 3, 2, 2))
    for tag, t, ns in elems[:2]:
        f.write(struct.pack("<iii4i", tag, 0, 1, *ns))
    f.write(struct.pack("<iii", 2, 1, 2))
    f.write(struct.pack("<iii3i", 7, 0, 1, *elems[2][2]))
    f.write(b"\n$EndElements\n")
    for part in (nodes[:3], nodes[3:]):
        f.write(b'$NodeData\n1\n"u"\n1\n0.5\n3\n0\n3\n%d\n' % len(part))
        for n in part:
            f.write(struct.pack("<iddd", n[0], *u(n[1], n[2])))
        f.write(b"\n$EndNodeData\n")

# An $ElementData view given for element 100 only.
with open("partial_element_data_22.msh", "w") as f:
    f.write("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n%d\n" % len(nodes))
    for n in nodes:
        f.write("%d %g %g %g\n" % n)
    f.write("$EndNodes\n$Elements\n%d\n" % len(elems))
    for tag, t, ns in elems:
        f.write("%d %d 2 0 1 %s\n" % (tag, t, " ".join(map(str, ns))))
    f.write("$EndElements\n")
    f.write('$ElementData\n1\n"p"\n1\n0\n3\n0\n1\n1\n100 10\n$EndElementData\n')

# One 18-node prism whose three face-centre nodes lie off the faces' centres
# (a curved face), as Gmsh numbers them: corners, edges 0-1, 0-2, 0-3, 1-2,
# 1-4, 2-5, 3-4, 3-5, 4-5, then the centres of faces 0-1-4-3, 0-2-5-3, 1-2-5-4.
corner = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (0, 1, 1)]
edges = [(0, 1), (0, 2), (0, 3), (1, 2), (1, 4), (2, 5), (3, 4), (3, 5), (4, 5)]
faces = [(0, 1, 4, 3), (0, 2, 5, 3), (1, 2, 5, 4)]
pts = list(corner)
for a, b in edges:
    pts.append(tuple((corner[a][k] + corner[b][k]) / 2 for k in range(3)))
bulge = [(0, -0.1, 0), (-0.1, 0, 0), (0.07, 0.07, 0)]
for q, fc in enumerate(faces):
    pts.append(tuple(sum(corner[c][k] for c in fc) / 4 + bulge[q][k] for k in range(3)))
with open("prism18_22.msh", "w") as f:
    f.write("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n%d\n" % len(pts))
    for i, p in enumerate(pts):
        f.write("%d %.17g %.17g %.17g\n" % ((i + 1,) + p))
    f.write("$EndNodes\n$Elements\n1\n1 13 2 0 1 %s\n$EndElements\n" % " ".join(str(i + 1) for i in range(18)))

# A CalculiX file whose result blocks name nodes the node block lacks (as
# CalculiX's own test files modelchel and induction2 do): one text block
# with two such records (one spread over two lines), one binary block with
# one. Four nodes, one quadrilateral.
head = "    1C\n    1UUSER\n"
quad = [(1, 0, 0), (2, 1, 0), (3, 1, 1), (4, 0, 1)]
def result_header(count, fmt):
    return "  100CL  101 1.000000000%12d                     0    1           %d\n" % (count, fmt)
with open("missing_nodes.frd", "wb") as f:
    f.write(head.encode())
    f.write(b"    2C%30d%37s1\n" % (len(quad), b""))
    for n, x, y in quad:
        f.write(b" -1%10d%12.5E%12.5E%12.5E\n" % (n, x, y, 0.0))
    f.write(b" -3\n    3C%30d%37s1\n" % (1, b""))
    f.write(b" -1         1    9    0    1\n -2         1         2         3         4\n -3\n")
    f.write(result_header(6, 1).encode())
    f.write(b" -4  DISP        3    1\n -5  D1          1    2    1    0\n"
            b" -5  D2          1    2    2    0\n -5  D3          1    2    3    0\n")
    for n in (1, 77, 2, 3, 78, 4):
        f.write(b" -1%10d%12.5E%12.5E%12.5E\n" % (n, n / 10, n / 100, 0.0))
    f.write(b" -3\n")
    # Seven components: one line holds six, the seventh goes on a -2 line.
    f.write(result_header(5, 1).encode())
    f.write(b" -4  SEVEN       7    1\n")
    for k in range(7):
        f.write(b" -5  V%d          1    1    0    0\n" % (k + 1))
    for n in (1, 2, 99, 3, 4):
        f.write(b" -1%10d" % n + b"".join(b"%12.5E" % (n + k / 10) for k in range(6)) + b"\n")
        f.write(b" -2%10s%12.5E\n" % (b"", n + 0.6))
    f.write(b" -3\n")
    f.write(result_header(5, 3).encode())
    f.write(b" -4  TEMP        1    1\n -5  T           1    1    0    0\n")
    for n in (1, 2, 3, 55, 4):
        f.write(struct.pack("<id", n, 100.0 + n))
    f.write(b"9999\n")

# A CalculiX PDISP block (amplitudes and phases of a steady-state dynamic
# step): six components that are no tensor.
with open("pdisp.frd", "wb") as f:
    f.write(head.encode())
    f.write(b"    2C%30d%37s1\n" % (len(quad), b""))
    for n, x, y in quad:
        f.write(b" -1%10d%12.5E%12.5E%12.5E\n" % (n, x, y, 0.0))
    f.write(b" -3\n    3C%30d%37s1\n" % (1, b""))
    f.write(b" -1         1    9    0    1\n -2         1         2         3         4\n -3\n")
    f.write(result_header(4, 1).encode())
    f.write(b" -4  PDISP       6    1\n")
    for k, c in enumerate(["MAG1", "MAG2", "MAG3", "PHA1", "PHA2", "PHA3"]):
        f.write(b" -5  %-8s    1   12%5d    0\n" % (c.encode(), k + 1))
    for n, x, y in quad:
        f.write(b" -1%10d" % n + b"".join(b"%12.5E" % v for v in (n, 2 * n, 3 * n, -90, 0, 90)) + b"\n")
    f.write(b" -3\n9999\n")

# A partitioned file whose two pieces are the same grid (VTK's parallel
# writer on a grid it did not distribute): every cell comes twice.
with open("overlap.pvtu", "w") as f:
    f.write('<?xml version="1.0"?>\n<VTKFile type="PUnstructuredGrid" version="1.0" '
            'byte_order="LittleEndian" header_type="UInt64">\n<PUnstructuredGrid GhostLevel="0">\n'
            '<PPoints><PDataArray type="Float64" NumberOfComponents="3"/></PPoints>\n'
            '<Piece Source="../vtk_xml/split_0.vtu"/>\n<Piece Source="../vtk_xml/split_0.vtu"/>\n'
            '</PUnstructuredGrid>\n</VTKFile>\n')

# A fuzz seed: ../gmsh/plate_41_bin.msh with every binary $NodeData block cut
# in two blocks of the same view and step, as partitioned output writes it.
def split_views(src, dst):
    data = open(src, "rb").read()
    out, pos = b"", 0
    while True:
        at = data.find(b"$NodeData\n", pos)
        if at < 0:
            break
        out += data[pos:at]
        lines, p = [], at + len(b"$NodeData\n")
        nstr = int(data[p:data.index(b"\n", p)]); lines.append(data[p:data.index(b"\n", p) + 1]); p = data.index(b"\n", p) + 1
        for _ in range(nstr):
            e = data.index(b"\n", p) + 1; lines.append(data[p:e]); p = e
        nreal = int(data[p:data.index(b"\n", p)]); e = data.index(b"\n", p) + 1; lines.append(data[p:e]); p = e
        for _ in range(nreal):
            e = data.index(b"\n", p) + 1; lines.append(data[p:e]); p = e
        nint = int(data[p:data.index(b"\n", p)]); e = data.index(b"\n", p) + 1; lines.append(data[p:e]); p = e
        ints = []
        for _ in range(nint):
            e = data.index(b"\n", p) + 1; ints.append(int(data[p:e])); p = e
        comps, count = ints[1], ints[2]
        size = 4 + 8 * comps
        records = data[p:p + size * count]
        p += size * count
        end = data.index(b"$EndNodeData\n", p) + len(b"$EndNodeData\n")
        half = count // 2
        for first, n in ((0, half), (half, count - half)):
            head = b"".join(lines) + b"".join(b"%d\n" % v for v in ints[:2] + [n] + ints[3:])
            out += b"$NodeData\n" + head + records[first * size:(first + n) * size] + b"\n$EndNodeData\n"
        pos = end
    out += data[pos:]
    open(dst, "wb").write(out)

split_views("../gmsh/plate_41_bin.msh", "../../../../fuzz/seeds/gmsh_fuzz/split_views_41_bin.msh")
