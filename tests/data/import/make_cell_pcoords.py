# Writes vtk_cell_pcoords.txt: for each cell type and node count, the
# parametric coordinates of its nodes as VTK itself places them (VTK node
# order). A pyramid's parametric space is a collapsed cube, so its nodes are
# given as the points that VTK's own linear pyramid (base the unit square,
# apex at (0.5, 0.5, 1)) maps them to. Run with Debian's python3-vtk9:  /usr/bin/python3 make_cell_pcoords.py > vtk_cell_pcoords.txt
import vtk  # noqa: E402
cells = [(3,'vtkLine',2),(21,'vtkQuadraticEdge',3),(5,'vtkTriangle',3),(22,'vtkQuadraticTriangle',6),
 (8,'vtkPixel',4),(9,'vtkQuad',4),(23,'vtkQuadraticQuad',8),(28,'vtkBiQuadraticQuad',9),
 (10,'vtkTetra',4),(24,'vtkQuadraticTetra',10),(11,'vtkVoxel',8),(12,'vtkHexahedron',8),
 (25,'vtkQuadraticHexahedron',20),(29,'vtkTriQuadraticHexahedron',27),(13,'vtkWedge',6),
 (26,'vtkQuadraticWedge',15),(14,'vtkPyramid',5),(27,'vtkQuadraticPyramid',13),
 (68,'vtkLagrangeCurve',4),(68,'vtkLagrangeCurve',6),(69,'vtkLagrangeTriangle',10),(69,'vtkLagrangeTriangle',15),(69,'vtkLagrangeTriangle',21),
 (70,'vtkLagrangeQuadrilateral',9),(70,'vtkLagrangeQuadrilateral',16),(70,'vtkLagrangeQuadrilateral',25),
 (71,'vtkLagrangeTetra',10),(72,'vtkLagrangeHexahedron',27),(72,'vtkLagrangeHexahedron',64),
 (73,'vtkLagrangeWedge',18)]
for t,cls,n in cells:
    c = getattr(vtk,cls)()
    c.GetPointIds().SetNumberOfIds(n); c.GetPoints().SetNumberOfPoints(n)
    for i in range(n):
        c.GetPointIds().SetId(i,i); c.GetPoints().SetPoint(i,0,0,0)
    if hasattr(c,"SetUniformOrderFromNumPoints"): c.SetUniformOrderFromNumPoints(n)
    if hasattr(c,"Initialize"):
        try: c.Initialize()
        except Exception: pass
    pc = c.GetParametricCoords()
    vals = [pc[i] for i in range(3*n)]
    if t in (14, 27, 74):
        pyr = vtk.vtkPyramid()
        for i, p in enumerate([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0.5, 0.5, 1)]):
            pyr.GetPoints().SetPoint(i, *p)
        out = []
        for i in range(n):
            x = [0.0, 0.0, 0.0]
            w = [0.0] * 5
            pyr.EvaluateLocation(vtk.reference(0), vals[3*i:3*i+3], x, w)
            out += x
        vals = out
    print(t, n, ' '.join('%.17g'%v for v in vals))
