#!/usr/bin/env python3
"""Writes the sample result files in examples/.

  tools/make_examples.py [OUT_DIR]     (default: examples/ next to this folder)

Each sample is a small but realistic model with several result lists, of the
kind an analysis code writes after a run with load steps:
  viga.txt    cantilever beam of linear and cubic line elements, tip load in steps
  placa.txt   plate of linear and quadratic quadrilaterals under pressure
  casca.txt   cylindrical shell panel of quadratic and cubic triangles
"""
import math
import os
import sys


class Model:
    def __init__(self, title):
        self.title = title
        self.nodes = []          # (x, y, z)
        self.index = {}          # key -> node number
        self.elements = []       # (family, order, [nodes])
        self.lists = []          # (name, [(dx, dy, dz, value)] per node)

    def node(self, key, xyz):
        if key not in self.index:
            self.nodes.append(xyz)
            self.index[key] = len(self.nodes)
        return self.index[key]

    def add_list(self, name, fn):
        self.lists.append((name, [fn(*p) for p in self.nodes]))

    def write(self, path):
        def num(v):
            return "%.6E" % v

        with open(path, "w", newline="\r\n" if path.endswith("placa.txt") else "\n",
                  encoding="latin-1") as f:
            f.write(self.title + "\n")
            f.write("# numero de nos e de elementos\n")
            f.write("%d %d\n" % (len(self.nodes), len(self.elements)))
            f.write("# coordenadas x y z e deslocamentos iniciais dx dy dz\n")
            for x, y, z in self.nodes:
                f.write(" ".join(num(v) for v in (x, y, z, 0.0, 0.0, 0.0)) + "\n")
            f.write("# elementos: familia ordem nos\n")
            for fam, order, nodes in self.elements:
                f.write("%d %d %s\n" % (fam, order, " ".join(str(n) for n in nodes)))
            for name, rows in self.lists:
                f.write("# lista de resultados\n")
                f.write(name + "\n")
                for dx, dy, dz, v in rows:
                    f.write(" ".join(num(t) for t in (dx, dy, dz, v)) + "\n")


def beam():
    """Cantilever along x, clamped at x = 0, tip load P in five steps.
    Left half: 8 linear elements; right half: 4 cubic elements."""
    m = Model("Viga em balanco - carga na extremidade")
    length, ei = 10.0, 2.0e4
    n_lin, n_cub = 8, 4
    half = length / 2
    for e in range(n_lin):
        a = m.node(("x", e * 6), (half * e / n_lin, 0.0, 0.0))
        b = m.node(("x", (e + 1) * 6), (half * (e + 1) / n_lin, 0.0, 0.0))
        m.elements.append((1, 1, [a, b]))
    step = 48 // n_cub  # node keys on a fine scale shared with the linear part
    for e in range(n_cub):
        ids = []
        for j in range(4):
            key = 48 + e * step + j * step // 3
            x = half + half * (e + j / 3.0) / n_cub
            ids.append(m.node(("x", key), (x, 0.0, 0.0)))
        m.elements.append((1, 3, ids))
    for k in range(1, 6):
        p = 20.0 * k

        def defl(x, y, z, p=p):
            w = -p * x * x * (3 * length - x) / (6 * ei)
            return (0.0, w, 0.0, abs(w))

        m.add_list("Deslocamento vertical - passo %d (P = %g kN)" % (k, p), defl)
    for k in range(1, 6):
        p = 20.0 * k
        m.add_list("Momento fletor - passo %d (kN.m)" % k,
                   lambda x, y, z, p=p: (0.0, -p * x * x * (3 * length - x) / (6 * ei), 0.0,
                                         -p * (length - x)))
    return m


def plate():
    """Simply supported 4 x 3 plate under uniform pressure: linear quadrilaterals
    on the left half, quadratic ones on the right half."""
    m = Model("Placa apoiada - pressao uniforme")
    a, b = 4.0, 3.0
    nx, ny = 8, 6  # cells
    hx, hy = a / nx, b / ny

    def pos(i2, j2):  # fine grid (half cells)
        return (i2 * hx / 2, j2 * hy / 2, 0.0)

    for j in range(ny):
        for i in range(nx):
            if i < nx // 2:
                c = [(2 * i, 2 * j), (2 * i + 2, 2 * j), (2 * i, 2 * j + 2), (2 * i + 2, 2 * j + 2)]
                m.elements.append((3, 1, [m.node(k, pos(*k)) for k in c]))
            else:
                c = [(2 * i + cc, 2 * j + rr) for rr in range(3) for cc in range(3)]
                m.elements.append((3, 2, [m.node(k, pos(*k)) for k in c]))
    for k in range(1, 5):
        q = 2.5 * k

        def w(x, y, z, q=q):
            s = math.sin(math.pi * x / a) * math.sin(math.pi * y / b)
            return (0.0, 0.0, -0.01 * q * s, 0.01 * q * s)

        m.add_list("Deslocamento w - passo %d" % k, w)
    for k in range(1, 5):
        q = 2.5 * k

        def sx(x, y, z, q=q):
            s = math.sin(math.pi * x / a) * math.sin(math.pi * y / b)
            return (0.0, 0.0, -0.01 * q * s, 40.0 * q * s * (1 + 0.3 * (a / b) ** 2) - 5.0 * q * y / b)

        m.add_list("Tens\u00e3o Sx - passo %d (MPa)" % k, sx)
    return m


def shell():
    """Cylindrical panel (radius 5, 90 degrees, height 6) under internal
    pressure: quadratic triangles in the lower half, cubic in the upper half."""
    m = Model("Casca cilindrica - pressao interna")
    radius, height, angle = 5.0, 6.0, math.pi / 2

    def surface(u, v):  # u, v in 0..1
        t = angle * u
        return (radius * math.cos(t), radius * math.sin(t), height * v)

    def triangles(order, cells_u, cells_v, v0, v1, tag):
        for cj in range(cells_v):
            for ci in range(cells_u):
                def key(i, j):
                    return (tag, ci * order + i, cj * order + j)

                def xyz(i, j):
                    u = (ci + i / order) / cells_u
                    v = v0 + (v1 - v0) * (cj + j / order) / cells_v
                    return surface(u, v)

                lower, upper = [], []
                for r in range(order + 1):
                    for c in range(order + 1 - r):
                        lower.append(m.node(key(c, r), xyz(c, r)))
                        upper.append(m.node(key(order - c, order - r), xyz(order - c, order - r)))
                m.elements.append((2, order, lower))
                m.elements.append((2, order, upper))

    triangles(2, 6, 2, 0.0, 0.5, "q")
    triangles(3, 6, 2, 0.5, 1.0, "c")
    for k in range(1, 4):
        p = 0.5 * k

        def radial(x, y, z, p=p):
            t = math.atan2(y, x)
            bulge = math.sin(math.pi * z / height) * (0.6 + 0.4 * math.sin(2 * t))
            d = 0.05 * p * bulge
            return (d * math.cos(t), d * math.sin(t), 0.0, 100.0 * p * bulge)

        m.add_list("Tens\u00e3o de von Mises - passo %d (MPa)" % k, radial)
    return m


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples")
    os.makedirs(out, exist_ok=True)
    for name, build in (("viga.txt", beam), ("placa.txt", plate), ("casca.txt", shell)):
        model = build()
        path = os.path.join(out, name)
        model.write(path)
        print("%s: %d nodes, %d elements, %d result lists" % (path, len(model.nodes), len(model.elements),
                                                            len(model.lists)))


if __name__ == "__main__":
    main()
