#!/usr/bin/python3
# Writes the CalculiX input decks of the importer tests and runs Debian's
# calculix-ccx (2.20) on them:
#   cd tests/data/import/calculix && python3 make_fixtures.py
# Only the .inp and .frd files are kept.
import os, subprocess

def brick_mesh(nx, quadratic):
    """A 2 x 1 x 1 bar of nx bricks along x; nodes numbered sparsely (x 10 + 1)."""
    h = 2.0 / nx
    n = 2 * nx if quadratic else nx
    step = h / 2 if quadratic else h
    nodes, ids = {}, {}
    for i in range(n + 1):
        for j in range(3 if quadratic else 2):
            for k in range(3 if quadratic else 2):
                d = 0.5 if quadratic else 1.0
                nid = 10 * (len(nodes) + 1) + 1
                nodes[nid] = (i * step, j * d, k * d)
                ids[(i, j, k)] = nid
    elems = []
    for e in range(nx):
        if quadratic:
            i0, i1, im = 2 * e, 2 * e + 2, 2 * e + 1
            c = [(i0, 0, 0), (i1, 0, 0), (i1, 2, 0), (i0, 2, 0), (i0, 0, 2), (i1, 0, 2), (i1, 2, 2), (i0, 2, 2)]
            mids = [(im, 0, 0), (i1, 1, 0), (im, 2, 0), (i0, 1, 0), (im, 0, 2), (i1, 1, 2), (im, 2, 2), (i0, 1, 2),
                    (i0, 0, 1), (i1, 0, 1), (i1, 2, 1), (i0, 2, 1)]
            elems.append([ids[p] for p in c + mids])
        else:
            c = [(e, 0, 0), (e + 1, 0, 0), (e + 1, 1, 0), (e, 1, 0), (e, 0, 1), (e + 1, 0, 1), (e + 1, 1, 1), (e, 1, 1)]
            elems.append([ids[p] for p in c])
    return nodes, elems

def write_deck(name, nodes, elems, etype, body):
    with open(name + ".inp", "w") as f:
        f.write("*NODE, NSET=NALL\n")
        for nid, (x, y, z) in sorted(nodes.items()):
            f.write("%d, %.6g, %.6g, %.6g\n" % (nid, x, y, z))
        f.write("*ELEMENT, TYPE=%s, ELSET=EALL\n" % etype)
        for k, e in enumerate(elems):
            parts = [str(100 + 5 * k)] + [str(x) for x in e]
            lines = [", ".join(parts[:16])] + ([", ".join(parts[16:])] if len(parts) > 16 else [])
            f.write(",\n".join(lines) + "\n")
        f.write(body)

material = """*MATERIAL, NAME=STEEL
*ELASTIC
210000., 0.3
*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL
"""

# Cantilever of two 20-node bricks, fixed at x = 0, loaded at x = 2; two steps.
nodes, elems = brick_mesh(2, True)
fixed = [n for n, p in nodes.items() if p[0] == 0]
tip = [n for n, p in nodes.items() if p[0] == 2]
write_deck("beam20", nodes, elems, "C3D20", material + "*BOUNDARY\n" +
           "".join("%d, 1, 3\n" % n for n in fixed) +
           "*STEP\n*STATIC\n*CLOAD\n" + "".join("%d, 3, -100.\n" % n for n in tip) +
           "*NODE FILE\nU, RF\n*EL FILE\nS\n*END STEP\n" +
           "*STEP\n*STATIC\n*CLOAD\n" + "".join("%d, 3, -200.\n" % n for n in tip) +
           "*NODE FILE\nU\n*EL FILE\nS\n*END STEP\n")

# Four 8-node bricks, pulled along x; one step.
nodes, elems = brick_mesh(4, False)
fixed = [n for n, p in nodes.items() if p[0] == 0]
tip = [n for n, p in nodes.items() if p[0] == 2]
write_deck("beam8", nodes, elems, "C3D8", material + "*BOUNDARY\n" +
           "".join("%d, 1, 3\n" % n for n in fixed) +
           "*STEP\n*STATIC\n*CLOAD\n" + "".join("%d, 1, 1000.\n" % n for n in tip) +
           "*NODE FILE\nU\n*EL FILE\nS, E\n*END STEP\n")

# A flat shell of two 8-node quadrilaterals, written as 2-D elements.
nodes = {}
ids = {}
for i in range(5):
    for j in range(3):
        if i % 2 == 1 and j == 1:
            continue
        nid = 1 + len(nodes)
        nodes[nid] = (i * 0.5, j * 0.5, 0.0)
        ids[(i, j)] = nid
elems = []
for e in range(2):
    i0, im, i1 = 2 * e, 2 * e + 1, 2 * e + 2
    elems.append([ids[p] for p in [(i0, 0), (i1, 0), (i1, 2), (i0, 2), (im, 0), (i1, 1), (im, 2), (i0, 1)]])
fixed = [n for n, p in nodes.items() if p[0] == 0]
write_deck("shell8", nodes, elems, "S8", material.replace("*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL",
                                                         "*SHELL SECTION, ELSET=EALL, MATERIAL=STEEL\n0.05") +
           "*BOUNDARY\n" + "".join("%d, 1, 6\n" % n for n in fixed) +
           "*STEP\n*STATIC\n*DLOAD\nEALL, P, 1.\n*NODE FILE, OUTPUT=2D\nU\n*EL FILE, OUTPUT=2D\nS\n*END STEP\n")

# The same four bricks with *NODE OUTPUT / *ELEMENT OUTPUT: ccx then writes
# the blocks in binary form.
with open("beam8.inp") as f:
    text = f.read()
with open("beam8_bin.inp", "w") as f:
    f.write(text.replace("*NODE FILE", "*NODE OUTPUT").replace("*EL FILE", "*ELEMENT OUTPUT"))

# A unit cube cut into two 15-node prisms along its diagonal plane x = y.
pts = {}
def nid(x, y, z):
    key = (x, y, z)
    if key not in pts:
        pts[key] = 1 + len(pts)
    return pts[key]
def prism(a, b, c):
    # a, b, c: (x, y) of the bottom triangle, counter-clockwise seen from +z.
    tri = [a, b, c]
    mid = lambda p, q: ((p[0] + q[0]) / 2, (p[1] + q[1]) / 2)
    ns = [nid(x, y, 0) for x, y in tri] + [nid(x, y, 1) for x, y in tri]
    ns += [nid(*mid(tri[i], tri[(i + 1) % 3]), 0) for i in range(3)]
    ns += [nid(*mid(tri[i], tri[(i + 1) % 3]), 1) for i in range(3)]
    ns += [nid(x, y, 0.5) for x, y in tri]
    return ns
elems = [prism((0, 0), (1, 0), (1, 1)), prism((0, 0), (1, 1), (0, 1))]
nodes = {v: k for k, v in pts.items()}
fixed = [n for n, p in nodes.items() if p[2] == 0]
top = [n for n, p in nodes.items() if p[2] == 1]
write_deck("wedge15", nodes, elems, "C3D15", material + "*BOUNDARY\n" +
           "".join("%d, 1, 3\n" % n for n in fixed) +
           "*STEP\n*STATIC\n*CLOAD\n" + "".join("%d, 3, 10.\n" % n for n in top) +
           "*NODE FILE\nU\n*END STEP\n")

for deck in ["beam20", "beam8", "beam8_bin", "shell8", "wedge15"]:
    subprocess.run(["ccx", "-i", deck], check=True, stdout=subprocess.DEVNULL)
for f in os.listdir("."):
    if not (f.endswith(".inp") or f.endswith(".frd") or f.endswith(".py")):
        os.remove(f)
