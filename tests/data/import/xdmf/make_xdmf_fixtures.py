#!/usr/bin/python3
"""Writes the XDMF fixtures of the importer tests, with the tools users have:
meshio (python3-meshio: plain XDMF with HDF5 or XML data, and its
TimeSeriesWriter) and h5py (python3-h5py) for files laid out as dolfinx's
XDMFFile writes them (write_mesh, then write_function at several times; the
mesh's Topology and Geometry xi:included into every step), an XDMF 2 file
with a Spatial collection, and the hostile files of the refusal tests.

Values are functions of the coordinates and the time, so that the tests
check what they read against the same formulas.

    cd tests/data/import/xdmf && /usr/bin/python3 make_xdmf_fixtures.py
"""
import os

import h5py
import meshio
import numpy as np

# A small tetrahedral block: 2 x 1 x 1 cells of 6 tetrahedra each.
def tet_block():
    pts = np.array([[x, y, z] for z in (0.0, 1.0) for y in (0.0, 1.0) for x in (0.0, 1.0, 2.0)])
    i = lambda x, y, z: x + 3 * y + 6 * z
    tets = []
    for a in (0, 1):
        c = [i(a, 0, 0), i(a + 1, 0, 0), i(a + 1, 1, 0), i(a, 1, 0),
             i(a, 0, 1), i(a + 1, 0, 1), i(a + 1, 1, 1), i(a, 1, 1)]
        for t in ([0, 1, 3, 4], [1, 2, 3, 6], [1, 4, 5, 6], [3, 4, 6, 7], [1, 3, 4, 6]):
            tets.append([c[k] for k in t])
    return pts, np.array(tets)


def meshio_files():
    pts, tets = tet_block()
    x, y, z = pts.T
    centres = pts[tets].mean(axis=1)
    sym = np.stack([centres[:, 0], centres[:, 1], centres[:, 2], 0.1 + 0 * centres[:, 0],
                    0.2 + 0 * centres[:, 0], 0.3 + 0 * centres[:, 0]], axis=1)
    m = meshio.Mesh(pts, [("tetra", tets)],
                    point_data={"T": x + 10 * y + 100 * z, "displacement": 0.01 * pts},
                    cell_data={"stress": [sym], "id": [np.arange(len(tets), dtype=float)]})
    meshio.write("meshio_tet.xdmf", m)  # HDF5 heavy data in meshio_tet.h5
    # XML data items and a Mixed topology (triangles and quadrilaterals).
    q = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [2, 0.5, 0]], dtype=float)
    m2 = meshio.Mesh(q, [("quad", np.array([[0, 1, 2, 3]])), ("triangle", np.array([[1, 4, 2]]))],
                     point_data={"h": q[:, 0] * 2 + q[:, 1]}, cell_data={"mat": [np.array([1.0]), np.array([2.0])]})
    meshio.write("meshio_mixed_xml.xdmf", m2, data_format="XML")
    # A time series: the mesh once, three steps.
    with meshio.xdmf.TimeSeriesWriter("meshio_series.xdmf") as w:
        w.write_points_cells(pts, [("tetra", tets)])
        for t in (0.0, 0.5, 1.0):
            w.write_data(t, point_data={"phi": x + t * y, "u": np.stack([t * x, 0 * y, -t * z], axis=1)},
                         cell_data={"c": [np.arange(len(tets), dtype=float) + 10 * t]})


DOLFINX_HEAD = """<?xml version="1.0"?>
<!DOCTYPE Xdmf SYSTEM "Xdmf.dtd" []>
<Xdmf Version="3.0" xmlns:xi="http://www.w3.org/2001/XInclude">
  <Domain>
"""


def dolfinx_form():
    # As dolfinx 0.5's XDMFFile writes write_mesh then write_function(u, t)
    # for two functions (a scalar p and a 2D vector v padded to 3) at three times.
    pts = np.array([[0, 0], [1, 0], [2, 0], [0, 1], [1, 1], [2, 1]], dtype=float)
    tris = np.array([[0, 1, 4], [0, 4, 3], [1, 2, 5], [1, 5, 4]])
    times = [0.0, 0.25, 0.5]
    with h5py.File("dolfinx_form.h5", "w") as h:
        h["/Mesh/mesh/geometry"] = pts
        h["/Mesh/mesh/topology"] = tris.astype(np.int64)
        for k, t in enumerate(times):
            key = str(t).replace(".", "_")
            h[f"/Function/p/{key}"] = (pts[:, 0] + t).reshape(-1, 1)
            v = np.zeros((len(pts), 3))
            v[:, 0] = t * pts[:, 1]
            v[:, 1] = -t
            h[f"/Function/v/{key}"] = v
    out = DOLFINX_HEAD
    out += """    <Grid Name="mesh" GridType="Uniform">
      <Topology TopologyType="Triangle" NumberOfElements="4" NodesPerElement="3">
        <DataItem Dimensions="4 3" NumberType="Int" Format="HDF">dolfinx_form.h5:/Mesh/mesh/topology</DataItem>
      </Topology>
      <Geometry GeometryType="XY">
        <DataItem Dimensions="6 2" Format="HDF">dolfinx_form.h5:/Mesh/mesh/geometry</DataItem>
      </Geometry>
    </Grid>
"""
    for f, kind, comps in (("p", "Scalar", 1), ("v", "Vector", 3)):
        out += f'    <Grid Name="{f}" GridType="Collection" CollectionType="Temporal">\n'
        for t in times:
            key = str(t).replace(".", "_")
            out += f"""      <Grid Name="{f}" GridType="Uniform">
        <xi:include xpointer="xpointer(/Xdmf/Domain/Grid[@GridType='Uniform'][1]/*[self::Topology or self::Geometry])" />
        <Time Value="{t}" />
        <Attribute Name="{f}" AttributeType="{kind}" Center="Node">
          <DataItem Dimensions="6 {comps}" Format="HDF">dolfinx_form.h5:/Function/{f}/{key}</DataItem>
        </Attribute>
      </Grid>
"""
        out += "    </Grid>\n"
    out += "  </Domain>\n</Xdmf>\n"
    open("dolfinx_form.xdmf", "w").write(out)


def spatial_xml():
    # XDMF 2: a Spatial collection of two quadrilateral pieces sharing an
    # edge, X_Y_Z geometry, a Tensor6 attribute, the old Type= spellings.
    open("spatial_v2.xmf", "w").write("""<?xml version="1.0" ?>
<Xdmf Version="2.0">
 <Domain>
  <Grid Name="all" GridType="Collection" CollectionType="Spatial">
   <Time Value="3.5"/>
   <Grid Name="left" GridType="Uniform">
    <Topology Type="Quadrilateral" NumberOfElements="1">
     <DataItem Dimensions="1 4" NumberType="Int" Format="XML">0 1 2 3</DataItem>
    </Topology>
    <Geometry Type="X_Y_Z">
     <DataItem Dimensions="4" Format="XML">0 1 1 0</DataItem>
     <DataItem Dimensions="4" Format="XML">0 0 1 1</DataItem>
     <DataItem Dimensions="4" Format="XML">0 0 0 0</DataItem>
    </Geometry>
    <Attribute Name="s" Type="Tensor6" Center="Node">
     <DataItem Dimensions="4 6" Format="XML">
      11 12 13 22 23 33  11 12 13 22 23 33  11 12 13 22 23 33  11 12 13 22 23 33
     </DataItem>
    </Attribute>
    <Attribute Name="k" Type="Scalar" Center="Cell">
     <DataItem Dimensions="1" Format="XML">1</DataItem>
    </Attribute>
   </Grid>
   <Grid Name="right" GridType="Uniform">
    <Topology Type="Quadrilateral" NumberOfElements="1">
     <DataItem Dimensions="1 4" NumberType="Int" Format="XML">0 1 2 3</DataItem>
    </Topology>
    <Geometry Type="XYZ">
     <DataItem Dimensions="4 3" Format="XML">1 0 0  2 0 0  2 1 0  1 1 0</DataItem>
    </Geometry>
    <Attribute Name="s" Type="Tensor6" Center="Node">
     <DataItem Dimensions="4 6" Format="XML">
      11 12 13 22 23 33  11 12 13 22 23 33  11 12 13 22 23 33  11 12 13 22 23 33
     </DataItem>
    </Attribute>
    <Attribute Name="k" Type="Scalar" Center="Cell">
     <DataItem Dimensions="1" Format="XML">2</DataItem>
    </Attribute>
   </Grid>
  </Grid>
 </Domain>
</Xdmf>
""")


def include_files():
    # A time series whose mesh lies in another XDMF file, and a loop.
    open("inc_mesh.xdmf", "w").write("""<?xml version="1.0"?>
<Xdmf Version="3.0">
 <Domain>
  <Grid Name="mesh" GridType="Uniform">
   <Topology TopologyType="Triangle" NumberOfElements="1">
    <DataItem Dimensions="1 3" Format="XML">0 1 2</DataItem>
   </Topology>
   <Geometry GeometryType="XY">
    <DataItem Dimensions="3 2" Format="XML">0 0 1 0 0 1</DataItem>
   </Geometry>
  </Grid>
 </Domain>
</Xdmf>
""")
    open("inc_main.xdmf", "w").write("""<?xml version="1.0"?>
<Xdmf Version="3.0" xmlns:xi="http://www.w3.org/2001/XInclude">
 <Domain>
  <Grid Name="series" GridType="Collection" CollectionType="Temporal">
   <Grid Name="a" GridType="Uniform">
    <xi:include href="inc_mesh.xdmf" xpointer="xpointer(//Grid[@Name=&quot;mesh&quot;]/*[self::Topology or self::Geometry])"/>
    <Time Value="1"/>
    <Attribute Name="f" AttributeType="Scalar" Center="Node"><DataItem Dimensions="3" Format="XML">1 2 3</DataItem></Attribute>
   </Grid>
   <Grid Name="b" GridType="Uniform">
    <xi:include href="inc_mesh.xdmf" xpointer="xpointer(//Grid[@Name=&quot;mesh&quot;]/*[self::Topology or self::Geometry])"/>
    <Time Value="2"/>
    <Attribute Name="f" AttributeType="Scalar" Center="Node"><DataItem Dimensions="3" Format="XML">4 5 6</DataItem></Attribute>
   </Grid>
  </Grid>
 </Domain>
</Xdmf>
""")
    for a, b in (("loop_a.xdmf", "loop_b.xdmf"), ("loop_b.xdmf", "loop_a.xdmf")):
        open(a, "w").write(f"""<?xml version="1.0"?>
<Xdmf Version="3.0" xmlns:xi="http://www.w3.org/2001/XInclude">
 <Domain>
  <Grid Name="g" GridType="Uniform">
   <xi:include href="{b}" xpointer="xpointer(/Xdmf/Domain/Grid[1]/*)"/>
  </Grid>
 </Domain>
</Xdmf>
""")


def hostile():
    # A dataset of a billion rows announced in a file of a few KB (chunked,
    # nothing written), named by an XDMF file.
    with h5py.File("huge.h5", "w") as h:
        h.create_dataset("big", shape=(1000000000, 3), dtype="f8", chunks=(1024, 3))
        h["small"] = np.zeros((3, 3))
    bad = """<?xml version="1.0"?>
<Xdmf Version="3.0">
 <Domain>
  <Grid Name="g" GridType="Uniform">
   <Topology TopologyType="Triangle" NumberOfElements="1">
    <DataItem Dimensions="1 3" Format="XML">0 1 2</DataItem>
   </Topology>
   <Geometry GeometryType="XYZ">
    <DataItem Dimensions="{dims}" Format="HDF">{where}</DataItem>
   </Geometry>
  </Grid>
 </Domain>
</Xdmf>
"""
    for name, dims, where in (("huge.xdmf", "1000000000 3", "huge.h5:/big"),
                              ("missing_dataset.xdmf", "3 3", "huge.h5:/nothing"),
                              ("wrong_size.xdmf", "4 3", "huge.h5:/small"),
                              ("leaves_folder.xdmf", "3 3", "../xdmf/huge.h5:/small"),
                              ("absolute.xdmf", "3 3", "/dev/zero:/small"),
                              ("fine_small.xdmf", "3 3", "huge.h5:/small")):
        open(name, "w").write(bad.format(dims=dims, where=where))


meshio_files()
dolfinx_form()
spatial_xml()
include_files()
hostile()
