"""Models to and from meshio: a round trip through meshio's .vtu writer and
Orvanel's reader keeps the mesh and the values."""

import os
import warnings

import meshio
import numpy as np
import pytest

import orvanel
from conftest import DATA, EXAMPLES

FILES = [
    os.path.join(EXAMPLES, "viga.txt"),
    os.path.join(EXAMPLES, "casca.txt"),
    os.path.join(DATA, "import", "gmsh", "sparse_41.msh"),
    os.path.join(DATA, "import", "gmsh", "quad9_41.msh"),
    os.path.join(DATA, "import", "gmsh", "tri10_41.msh"),
]


def read_quietly(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", orvanel.ReadWarning)
        return orvanel.read(path)


def same_model(a, b, names_of_b):
    np.testing.assert_array_equal(a.points, b.points)
    np.testing.assert_array_equal(a.node_labels, b.node_labels)
    for field in ("codes", "labels", "offsets", "nodes"):
        np.testing.assert_array_equal(getattr(a.faces, field), getattr(b.faces, field))
    by_name = {names_of_b(info.name): info.number for info in b.lists}
    # One step holds one displacement: lists of several steps keep theirs
    # only as the vectors "NAME (deslocamento)".
    common = all(np.array_equal(a.displacement(i.number), a.displacement(1)) for i in a.lists)
    for info in a.lists:
        k = by_name[info.name]
        np.testing.assert_array_equal(a.values(info.number), b.values(k))
        if common:
            np.testing.assert_array_equal(a.displacement(info.number), b.displacement(k))
        else:
            components = [b.values(by_name[info.name + " (deslocamento) " + c]) for c in "XYZ"]
            np.testing.assert_array_equal(a.displacement(info.number), np.stack(components, axis=1))


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_round_trip_through_meshio_vtu(path, tmp_path):
    model = read_quietly(path)
    mesh = model.to_meshio()
    assert isinstance(mesh, meshio.Mesh)
    out = str(tmp_path / "model.vtu")
    mesh.write(out, binary=True)
    back = read_quietly(out)
    # The reader names each point array's list "NAME - passo 1".
    same_model(model, back, lambda name: name[: -len(" - passo 1")])


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_from_meshio_builds_the_same_model(path):
    model = read_quietly(path)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", orvanel.ReadWarning)
        back = orvanel.from_meshio(model.to_meshio())
    same_model(model, back, lambda name: name[: -len(" - passo 1")])


def test_from_meshio_volume_cells_and_cell_data():
    points = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 1, 1]], dtype=float)
    mesh = meshio.Mesh(points, [("tetra", [[0, 1, 2, 3], [1, 2, 3, 4]])],
                       point_data={"T": np.arange(5.0)}, cell_data={"p": [np.array([2.0, 4.0])]})
    model = orvanel.from_meshio(mesh, name="tets")
    # Two tetrahedra sharing a face: six exterior triangles.
    assert list(model.faces.codes) == [201] * 6
    names = [info.name for info in model.lists]
    assert names == ["T - passo 1", "p (média nos nós) - passo 1"]
    np.testing.assert_array_equal(model.values(1), np.arange(5.0))
    np.testing.assert_array_equal(model.values(2), [2, 3, 3, 3, 4])


@pytest.mark.parametrize("cells,message", [
    ([("triangle", [[0, 1, 7]])], "out of range"),
    ([("triangle", [[0, 1, -1]])], "out of range"),
])
def test_from_meshio_bad_cells(cells, message):
    mesh = meshio.Mesh(np.zeros((3, 3)), cells)
    with pytest.raises(ValueError, match=message):
        orvanel.from_meshio(mesh)
