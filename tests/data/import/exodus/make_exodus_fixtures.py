#!/usr/bin/python3
"""Writes the Exodus II fixtures of the importer tests, with the tools users
have: netCDF4 (python3-netcdf4) for hand-laid Exodus files in each netCDF
form, meshio (python3-meshio) and VTK's Exodus writer (python3-vtk9).

Values are functions of the coordinates and the step, so that the tests check
what they read against the same formulas (the arrays written here).

    cd tests/data/import/exodus && /usr/bin/python3 make_exodus_fixtures.py
"""
import numpy as np
import netCDF4

LEN = 33


def names_var(ds, var, dim, names):
    v = ds.createVariable(var, "S1", (dim, "len_name"))
    arr = np.zeros((len(names), LEN), dtype="S1")
    for k, n in enumerate(names):
        for i, ch in enumerate(n):
            arr[k, i] = ch.encode()
    v[:] = arr


def write_exodus(path, fmt, coords, blocks, times, nodal=None, elem=None, node_map=None, elem_map=None,
                 node_sets=(), side_sets=(), combined_coord=False, combined_nodal=False, word=8):
    """blocks: (id, name, type, conn 1-based); nodal: {name: steps x nodes};
    elem: {name: {block index: steps x count}}."""
    nodal = nodal or {}
    elem = elem or {}
    ds = netCDF4.Dataset(path, "w", format=fmt)
    ds.api_version = np.float32(8.1)
    ds.version = np.float32(8.1)
    ds.floating_point_word_size = np.int32(word)
    ds.file_size = np.int32(1)
    ds.title = "orvanel test fixture"
    n, dim = coords.shape
    ds.createDimension("len_string", LEN)
    ds.createDimension("len_name", LEN)
    ds.createDimension("len_line", 81)
    ds.createDimension("four", 4)
    ds.createDimension("num_dim", dim)
    ds.createDimension("num_nodes", n)
    ds.createDimension("num_elem", sum(len(b[3]) for b in blocks))
    ds.createDimension("num_el_blk", len(blocks))
    ds.createDimension("time_step", None)
    ftype = "f8" if word == 8 else "f4"
    t = ds.createVariable("time_whole", ftype, ("time_step",))
    t[:] = np.array(times)
    if combined_coord:
        c = ds.createVariable("coord", ftype, ("num_dim", "num_nodes"))
        c[:] = coords.T
    else:
        for k, nm in enumerate("xyz"[:dim]):
            c = ds.createVariable("coord" + nm, ftype, ("num_nodes",))
            c[:] = coords[:, k]
    names_var(ds, "coor_names", "num_dim", ["X", "Y", "Z"][:dim])
    p = ds.createVariable("eb_prop1", "i4", ("num_el_blk",))
    p.setncattr("name", "ID")
    p[:] = [b[0] for b in blocks]
    names_var(ds, "eb_names", "num_el_blk", [b[1] for b in blocks])
    st = ds.createVariable("eb_status", "i4", ("num_el_blk",))
    st[:] = 1
    for k, (bid, bname, btype, conn) in enumerate(blocks, start=1):
        conn = np.asarray(conn)
        ds.createDimension(f"num_el_in_blk{k}", conn.shape[0])
        ds.createDimension(f"num_nod_per_el{k}", conn.shape[1])
        v = ds.createVariable(f"connect{k}", "i4", (f"num_el_in_blk{k}", f"num_nod_per_el{k}"))
        v.elem_type = btype
        v[:] = conn
    if node_map is not None:
        v = ds.createVariable("node_num_map", "i4", ("num_nodes",))
        v[:] = node_map
    if elem_map is not None:
        v = ds.createVariable("elem_num_map", "i4", ("num_elem",))
        v[:] = elem_map
    if node_sets:
        ds.createDimension("num_node_sets", len(node_sets))
        v = ds.createVariable("ns_prop1", "i4", ("num_node_sets",))
        v[:] = [s[0] for s in node_sets]
        names_var(ds, "ns_names", "num_node_sets", [s[1] for s in node_sets])
        for k, (_, _, nodes) in enumerate(node_sets, start=1):
            ds.createDimension(f"num_nod_ns{k}", len(nodes))
            v = ds.createVariable(f"node_ns{k}", "i4", (f"num_nod_ns{k}",))
            v[:] = nodes
    if side_sets:
        ds.createDimension("num_side_sets", len(side_sets))
        v = ds.createVariable("ss_prop1", "i4", ("num_side_sets",))
        v[:] = [s[0] for s in side_sets]
        names_var(ds, "ss_names", "num_side_sets", [s[1] for s in side_sets])
        for k, (_, _, els, sides) in enumerate(side_sets, start=1):
            ds.createDimension(f"num_side_ss{k}", len(els))
            v = ds.createVariable(f"elem_ss{k}", "i4", (f"num_side_ss{k}",))
            v[:] = els
            v = ds.createVariable(f"side_ss{k}", "i4", (f"num_side_ss{k}",))
            v[:] = sides
    if nodal:
        ds.createDimension("num_nod_var", len(nodal))
        names_var(ds, "name_nod_var", "num_nod_var", list(nodal))
        if combined_nodal:
            v = ds.createVariable("vals_nod_var", ftype, ("time_step", "num_nod_var", "num_nodes"))
            v[:] = np.stack([np.asarray(a) for a in nodal.values()], axis=1)
        else:
            for k, a in enumerate(nodal.values(), start=1):
                v = ds.createVariable(f"vals_nod_var{k}", ftype, ("time_step", "num_nodes"))
                v[:] = np.asarray(a)
    if elem:
        ds.createDimension("num_elem_var", len(elem))
        names_var(ds, "name_elem_var", "num_elem_var", list(elem))
        tab = np.zeros((len(blocks), len(elem)), dtype="i4")
        for j, per_block in enumerate(elem.values()):
            for b, a in per_block.items():
                tab[b, j] = 1
                v = ds.createVariable(f"vals_elem_var{j + 1}eb{b + 1}", ftype,
                                      ("time_step", f"num_el_in_blk{b + 1}"))
                v[:] = np.asarray(a)
        v = ds.createVariable("elem_var_tab", "i4", ("num_el_blk", "num_elem_var"))
        v[:] = tab
    ds.close()


def classic_hex():
    # Two bricks side by side (12 nodes), a shell on the first brick's top and
    # a beam along its first edge; three steps.
    pts = np.array([[x, y, z] for z in (0.0, 1.0) for y in (0.0, 1.0) for x in (0.0, 1.0, 2.0)])
    i = lambda x, y, z: x + 3 * y + 6 * z + 1
    hexes = [[i(a, 0, 0), i(a + 1, 0, 0), i(a + 1, 1, 0), i(a, 1, 0),
              i(a, 0, 1), i(a + 1, 0, 1), i(a + 1, 1, 1), i(a, 1, 1)] for a in (0, 1)]
    shell = [[i(0, 0, 1), i(1, 0, 1), i(1, 1, 1), i(0, 1, 1)]]
    beam = [[i(0, 0, 0), i(1, 0, 0)]]
    times = [0.0, 0.5, 1.25]
    x, y, z = pts[:, 0], pts[:, 1], pts[:, 2]
    nodal = {
        "DISPLX": [0.01 * x * (s + 1) for s in range(3)],
        "DISPLY": [0.02 * y * (s + 1) for s in range(3)],
        "DISPLZ": [-0.03 * z * (s + 1) for s in range(3)],
        "TEMP": [100 + x + 10 * y + 100 * z + s for s in range(3)],
    }
    comps = ["XX", "YY", "ZZ", "XY", "YZ", "XZ"]
    elem = {f"STRESS_{c}": {0: [[(k + 1) * 10 + e + 100 * s for e in range(2)] for s in range(3)]}
            for k, c in enumerate(comps)}
    elem["PRESSURE"] = {0: [[5.0 + e + s for e in range(2)] for s in range(3)],
                        1: [[7.0 + s] for s in range(3)]}
    write_exodus("classic_hex.exo", "NETCDF3_CLASSIC", pts,
                 [(10, "bricks", "HEX8", hexes), (20, "skin", "SHELL4", shell), (30, "", "BEAM2", beam)],
                 times, nodal, elem, node_map=[1001 + 2 * k for k in range(12)], elem_map=[501, 502, 601, 701],
                 node_sets=[(7, "fixed", [i(0, 0, 0), i(0, 1, 0), i(0, 0, 1), i(0, 1, 1)])],
                 side_sets=[(9, "load", [2], [2])])


def offset64_quad2d():
    # A 2D mesh (num_dim 2): two quads and a triangle, coordinates in one
    # `coord` variable, nodal values in the old combined vals_nod_var; a 2D
    # vector (vel_x vel_y) and a 2D tensor (s_xx s_yy s_xy).
    pts = np.array([[0, 0], [1, 0], [2, 0], [0, 1], [1, 1], [2, 1], [3, 0.5]], dtype=float)
    x, y = pts[:, 0], pts[:, 1]
    nodal = {"vel_x": [x + s for s in range(2)], "vel_y": [2 * y - s for s in range(2)],
             "s_xx": [x * y + s for s in range(2)], "s_yy": [x - y for s in range(2)],
             "s_xy": [0.5 * x for s in range(2)]}
    write_exodus("offset64_quad2d.exo", "NETCDF3_64BIT_OFFSET", pts,
                 [(1, "plate", "QUAD4", [[1, 2, 5, 4], [2, 3, 6, 5]]), (2, "tip", "TRI3", [[3, 7, 6]])],
                 [0.0, 2.0], nodal, combined_coord=True, combined_nodal=True)


# Exodus node places of the quadratic cells, as edges (pairs of corners) or
# faces after the corners.
HEX20_EDGES = [(0, 1), (1, 2), (2, 3), (3, 0), (0, 4), (1, 5), (2, 6), (3, 7), (4, 5), (5, 6), (6, 7), (7, 4)]
HEX27_FACES = [(0, 1, 2, 3, 4, 5, 6, 7), (0, 1, 2, 3), (4, 5, 6, 7), (0, 3, 7, 4), (1, 2, 6, 5), (0, 1, 5, 4),
               (3, 2, 6, 7)]
WEDGE15_EDGES = [(0, 1), (1, 2), (2, 0), (0, 3), (1, 4), (2, 5), (3, 4), (4, 5), (5, 3)]
TET10_EDGES = [(0, 1), (1, 2), (2, 0), (0, 3), (1, 3), (2, 3)]
PYR13_EDGES = [(0, 1), (1, 2), (2, 3), (3, 0), (0, 4), (1, 4), (2, 4), (3, 4)]


def element(corners, groups, shift):
    c = np.asarray(corners, dtype=float) + shift
    extra = [c[list(g)].mean(axis=0) for g in groups]
    return np.vstack([c] + extra) if extra else c


def nc4_quadratic():
    cube = [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [0, 0, 1], [1, 0, 1], [1, 1, 1], [0, 1, 1]]
    wedge = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 0, 1], [0, 1, 1]]
    tet = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]]
    pyr = [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [0.5, 0.5, 1]]
    cells = [("HEX20", element(cube, HEX20_EDGES, [0, 0, 0])),
             ("HEX27", element(cube, HEX20_EDGES + HEX27_FACES, [2, 0, 0])),
             ("WEDGE15", element(wedge, WEDGE15_EDGES, [4, 0, 0])),
             ("TETRA10", element(tet, TET10_EDGES, [6, 0, 0])),
             ("PYRAMID13", element(pyr, PYR13_EDGES, [8, 0, 0])),
             ("TRI6", element([[0, 0, 0], [1, 0, 0], [0, 1, 0]], [(0, 1), (1, 2), (2, 0)], [10, 0, 0])),
             ("QUAD9", element(cube[:4], [(0, 1), (1, 2), (2, 3), (3, 0), (0, 1, 2, 3)], [12, 0, 0])),
             ("BAR3", element([[0, 0, 0], [1, 0, 0]], [(0, 1)], [14, 0, 0]))]
    pts, blocks, first = [], [], 1
    for k, (t, p) in enumerate(cells):
        pts.append(p)
        blocks.append((k + 1, t.lower(), t, [list(range(first, first + len(p)))]))
        first += len(p)
    pts = np.vstack(pts)
    nodal = {"disp_x": [0 * pts[:, 0]], "disp_y": [0 * pts[:, 0]], "disp_z": [0.1 * pts[:, 2]]}
    write_exodus("nc4_quadratic.exo", "NETCDF4", pts, blocks, [1.0], nodal)


def meshio_file():
    import meshio
    pts = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 1, 1]], dtype=float)
    cells = [("tetra", np.array([[0, 1, 2, 3], [1, 2, 3, 4]])), ("triangle", np.array([[0, 1, 2]]))]
    m = meshio.Mesh(pts, cells, point_data={"T": pts[:, 0] + 2 * pts[:, 1], "u": 0.1 * pts},
                    point_sets={"base": np.array([0, 1, 2])})
    meshio.write("meshio_tet.exo", m)


def vtk_file():
    # VTK's Exodus writer over an unstructured grid of two tetrahedra with a
    # point and a cell array; it writes the number maps and one block per cell type.
    import vtk
    from vtk.util import numpy_support as ns
    pts = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 1, 1]], dtype=float)
    g = vtk.vtkUnstructuredGrid()
    p = vtk.vtkPoints()
    p.SetData(ns.numpy_to_vtk(pts))
    g.SetPoints(p)
    for c in ([0, 1, 2, 3], [1, 2, 3, 4]):
        ids = vtk.vtkIdList()
        for n in c:
            ids.InsertNextId(n)
        g.InsertNextCell(vtk.VTK_TETRA, ids)
    a = ns.numpy_to_vtk(pts[:, 0] * 3 + pts[:, 2])
    a.SetName("PHI")
    g.GetPointData().AddArray(a)
    v = ns.numpy_to_vtk(np.array([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]))
    v.SetName("FLUX")
    g.GetCellData().AddArray(v)
    w = vtk.vtkExodusIIWriter()
    w.SetFileName("vtk_tet.exo")
    w.SetInputData(g)
    w.WriteAllTimeStepsOff()
    w.Write()


if __name__ == "__main__":
    classic_hex()
    offset64_quad2d()
    nc4_quadratic()
    meshio_file()
    vtk_file()
