#!/usr/bin/python3
# Makes the Gmsh fixtures of the importer tests with Debian's python3-gmsh
# (Gmsh 4.8.4):   cd tests/data/import/gmsh && /usr/bin/python3 make_fixtures.py
# Field values are functions of the node coordinates, so that the tests can
# check them independently: temperature = (x + 2y) * (step + 1), displacement =
# (0.01x, 0.02y, 0) * (step + 1); element data = the element tag / 10;
# element-node data = 100 + x at every node of every element.
import gmsh

def plate(order=1, quads=False, incomplete=False, size=0.6):
    gmsh.model.add("plate")
    p = [gmsh.model.geo.addPoint(x, y, 0, size) for x, y in [(0, 0), (2, 0), (2, 1), (0, 1)]]
    l = [gmsh.model.geo.addLine(p[i], p[(i + 1) % 4]) for i in range(4)]
    s = gmsh.model.geo.addPlaneSurface([gmsh.model.geo.addCurveLoop(l)])
    if quads:
        gmsh.model.geo.mesh.setRecombine(2, s)
    gmsh.model.geo.synchronize()
    gmsh.model.addPhysicalGroup(2, [s], 1)
    gmsh.option.setNumber("Mesh.SecondOrderIncomplete", 1 if incomplete else 0)
    gmsh.model.mesh.generate(2)
    if order > 1:
        gmsh.model.mesh.setOrder(order)

def box(order=1, hexes=False, incomplete=False):
    gmsh.model.add("box")
    if hexes:
        gmsh.option.setNumber("Mesh.RecombineAll", 1)
        gmsh.option.setNumber("Mesh.Recombine3DAll", 1)
        p = gmsh.model.geo.addPoint(0, 0, 0, 1)
        e1 = gmsh.model.geo.extrude([(0, p)], 1, 0, 0, [2], recombine=True)
        e2 = gmsh.model.geo.extrude([e1[1]], 0, 1, 0, [2], recombine=True)
        gmsh.model.geo.extrude([e2[1]], 0, 0, 1, [2], recombine=True)
    else:
        gmsh.option.setNumber("Mesh.RecombineAll", 0)
        gmsh.option.setNumber("Mesh.Recombine3DAll", 0)
        p = gmsh.model.geo.addPoint(0, 0, 0, 0.7)
        e1 = gmsh.model.geo.extrude([(0, p)], 1, 0, 0)
        e2 = gmsh.model.geo.extrude([e1[1]], 0, 1, 0)
        gmsh.model.geo.extrude([e2[1]], 0, 0, 1)
    gmsh.model.geo.synchronize()
    gmsh.model.addPhysicalGroup(3, [1], 1)
    gmsh.option.setNumber("Mesh.SecondOrderIncomplete", 1 if incomplete else 0)
    gmsh.model.mesh.generate(3)
    if order > 1:
        gmsh.model.mesh.setOrder(order)
    gmsh.option.setNumber("Mesh.RecombineAll", 0)
    gmsh.option.setNumber("Mesh.Recombine3DAll", 0)

def views(steps=2):
    tags, coords, _ = gmsh.model.mesh.getNodes()
    xyz = [coords[3 * i:3 * i + 3] for i in range(len(tags))]
    pos = {int(t): xyz[i] for i, t in enumerate(tags)}
    t = gmsh.view.add("temperature")
    for s in range(steps):
        gmsh.view.addModelData(t, s, gmsh.model.getCurrent(), "NodeData", list(tags),
                               [[(c[0] + 2 * c[1]) * (s + 1)] for c in xyz], time=0.5 * s, numComponents=1)
    d = gmsh.view.add("displacement")
    for s in range(steps):
        gmsh.view.addModelData(d, s, gmsh.model.getCurrent(), "NodeData", list(tags),
                               [[0.01 * c[0] * (s + 1), 0.02 * c[1] * (s + 1), 0] for c in xyz],
                               time=0.5 * s, numComponents=3)
    dim = gmsh.model.getDimension()
    etypes, etags, enodes = gmsh.model.mesh.getElements(dim)
    et, en_values = [], []
    for k, tags_k in enumerate(etags):
        n = len(enodes[k]) // len(tags_k)
        et += [int(x) for x in tags_k]
        en_values += [[100 + pos[int(enodes[k][i * n + j])][0] for j in range(n)] for i in range(len(tags_k))]
    e = gmsh.view.add("pressure")
    gmsh.view.addModelData(e, 0, gmsh.model.getCurrent(), "ElementData", et, [[x / 10] for x in et], time=0,
                           numComponents=1)
    en = gmsh.view.add("stress")
    gmsh.view.addModelData(en, 0, gmsh.model.getCurrent(), "ElementNodeData", et, en_values, time=0,
                           numComponents=1)
    return [t, d, e, en]

def write(name, version, binary, with_views=True, steps=2):
    gmsh.option.setNumber("Mesh.MshFileVersion", version)
    gmsh.option.setNumber("Mesh.Binary", 1 if binary else 0)
    gmsh.option.setNumber("PostProcessing.SaveMesh", 0)
    gmsh.write(name)
    if with_views:
        for v in views(steps):
            gmsh.view.write(v, name, append=True)
        for v in gmsh.view.getTags():
            gmsh.view.remove(v)

gmsh.initialize()
gmsh.option.setNumber("General.Verbosity", 1)
plate()
write("plate_41.msh", 4.1, False)
write("plate_22.msh", 2.2, False)
write("plate_41_bin.msh", 4.1, True)
write("plate_22_bin.msh", 2.2, True)
gmsh.model.remove()
plate(order=2, quads=True, size=0.5)
write("quad9_41.msh", 4.1, False, steps=1)
gmsh.model.remove()
plate(order=2, quads=True, incomplete=True, size=0.5)
write("quad8_22.msh", 2.2, False, steps=1)
gmsh.model.remove()
plate(order=3, size=1.0)
write("tri10_41.msh", 4.1, False, steps=1)
gmsh.model.remove()
plate(order=3, quads=True, size=1.0)
write("quad16_22_bin.msh", 2.2, True, steps=1)
gmsh.model.remove()
box(order=2)
write("tet10_41.msh", 4.1, False, steps=1)
gmsh.model.remove()
box(order=2, hexes=True, incomplete=True)
write("hex20_41_bin.msh", 4.1, True, steps=1)
gmsh.model.remove()

# Sparse tags: a mesh given node by node, two quads and a triangle.
gmsh.model.add("sparse")
gmsh.model.addDiscreteEntity(2, 1)
gmsh.model.mesh.addNodes(2, 1, [10, 20, 35, 40, 57, 70],
                         [0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0])
gmsh.model.mesh.addElementsByType(1, 3, [100, 300], [10, 20, 57, 40, 20, 35, 70, 57])
gmsh.model.mesh.addElementsByType(1, 2, [7], [40, 57, 10])
write("sparse_41.msh", 4.1, False, with_views=False)
gmsh.finalize()

# The same sparse mesh written by hand in format 2.2, ASCII and big-endian
# binary (as a big-endian machine writes it), with a view "u" of two steps.
import struct
nodes = [(10, 0, 0, 0), (20, 1, 0, 0), (35, 2, 0, 0), (40, 0, 1, 0), (57, 1, 1, 0), (70, 2, 1, 0)]
elems = [(100, 3, [10, 20, 57, 40]), (300, 3, [20, 35, 70, 57]), (7, 2, [40, 57, 10])]
def u(step, x, y):
    return (0.1 * x * (step + 1), 0.2 * y * (step + 1), 0.0)
with open("sparse_22.msh", "w") as f:
    f.write("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n%d\n" % len(nodes))
    for n in nodes:
        f.write("%d %g %g %g\n" % n)
    f.write("$EndNodes\n$Elements\n%d\n" % len(elems))
    for tag, t, ns in elems:
        f.write("%d %d 2 0 1 %s\n" % (tag, t, " ".join(map(str, ns))))
    f.write("$EndElements\n")
    for step in range(2):
        f.write('$NodeData\n1\n"u"\n1\n%g\n3\n%d\n3\n%d\n' % (step * 0.25, step, len(nodes)))
        for n in nodes:
            f.write("%d %g %g %g\n" % ((n[0],) + u(step, n[1], n[2])))
        f.write("$EndNodeData\n")
with open("sparse_22_be.msh", "wb") as f:
    f.write(b"$MeshFormat\n2.2 1 8\n" + struct.pack(">i", 1) + b"\n$EndMeshFormat\n")
    f.write(b"$Nodes\n%d\n" % len(nodes))
    for n in nodes:
        f.write(struct.pack(">iddd", *n))
    f.write(b"\n$EndNodes\n$Elements\n%d\n" % len(elems))
    f.write(struct.pack(">iii", 3, 2, 2))
    for tag, t, ns in elems[:2]:
        f.write(struct.pack(">iii4i", tag, 0, 1, *ns))
    f.write(struct.pack(">iii", 2, 1, 2))
    f.write(struct.pack(">iii3i", 7, 0, 1, *elems[2][2]))
    f.write(b"\n$EndElements\n")
    for step in range(2):
        f.write(b'$NodeData\n1\n"u"\n1\n%g\n3\n%d\n3\n%d\n' % (step * 0.25, step, len(nodes)))
        for n in nodes:
            f.write(struct.pack(">iddd", n[0], *u(step, n[1], n[2])))
        f.write(b"\n$EndNodeData\n")
