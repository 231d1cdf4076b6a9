#!/usr/bin/python3
# Makes the curved-tetrahedron fixtures of the picture test with Debian's
# python3-gmsh (Gmsh 4.8.4):   cd tests/data/import/gmsh && /usr/bin/python3 make_sphere.py
# A unit sphere of 10-node tetrahedra, coarse enough that its faces bow out
# far from their chords; one view "z" = the node's z. The _flat twin is the
# same mesh with every mid-edge node on its edge's chord (Gmsh's
# Mesh.SecondOrderLinear), so that a reader or a picture that loses the
# curvature draws the twin.
import gmsh

for name, linear in [("tet10_sphere_41.msh", 0), ("tet10_sphere_flat_41.msh", 1)]:
    gmsh.initialize()
    gmsh.option.setNumber("General.Verbosity", 1)
    gmsh.model.add("sphere")
    gmsh.model.occ.addSphere(0, 0, 0, 1)
    gmsh.model.occ.synchronize()
    gmsh.model.addPhysicalGroup(3, [1], 1)
    gmsh.option.setNumber("Mesh.MeshSizeMin", 0.9)
    gmsh.option.setNumber("Mesh.MeshSizeMax", 0.9)
    gmsh.option.setNumber("Mesh.SecondOrderLinear", linear)
    gmsh.model.mesh.generate(3)
    gmsh.model.mesh.setOrder(2)
    gmsh.option.setNumber("Mesh.MshFileVersion", 4.1)
    gmsh.option.setNumber("Mesh.Binary", 0)
    gmsh.option.setNumber("PostProcessing.SaveMesh", 0)
    gmsh.write(name)
    tags, coords, _ = gmsh.model.mesh.getNodes()
    v = gmsh.view.add("z")
    gmsh.view.addModelData(v, 0, "sphere", "NodeData", list(tags),
                           [[coords[3 * i + 2]] for i in range(len(tags))], numComponents=1)
    gmsh.view.write(v, name, append=True)
    gmsh.finalize()
