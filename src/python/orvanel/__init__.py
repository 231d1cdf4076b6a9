"""Orvanel from Python: result files read into NumPy arrays, the batch
pictures, videos and node histories, and models handed to and from meshio.

    import orvanel
    model = orvanel.read("placa.txt")
    model.points            # N x 3 float64, read-only
    model.values(3)         # result list 3 at every node
    orvanel.picture(model, "placa3.png", list=3, bands=True, legend=True)
    image = orvanel.picture("placa.txt", list=3, size=(400, 300))  # H x W x 3 uint8

The reader, the drawing and their messages are the program's own: a file is
read as `orvanel --info FILE` reads it, and picture() draws what
`orvanel --picture` draws with the same options, one keyword per option
(--scale-figure is scale_figure=). Reading and drawing release the GIL, so
threads work in parallel.
"""

import re
import warnings
from collections import namedtuple

from . import _orvanel

__all__ = [
    "read", "picture", "video", "history", "from_meshio", "Model", "ListInfo", "Faces",
    "ReadError", "UsageError", "OutputError", "ReadWarning", "picture_options",
]

ReadError = _orvanel.ReadError
ReadError.__doc__ = "A file could not be read; the message is the one the program prints."
UsageError = _orvanel.UsageError
UsageError.__doc__ = "A keyword or value the command line would refuse (a ValueError)."
OutputError = _orvanel.OutputError
OutputError.__doc__ = "An output could not be made or written (a list out of range, a full disk)."


class ReadWarning(UserWarning):
    """Something the reader says about a file that did read (it ends early, fields skipped)."""


ListInfo = namedtuple("ListInfo", "number name step time range")
ListInfo.__doc__ = """A result list: its number (from 1), name, step (from 1, None
where the file has no steps), time (None where the file gives none) and
range (min, max)."""

Faces = namedtuple("Faces", "codes labels offsets nodes")
Faces.__doc__ = """The drawn elements, as --convert writes them: element codes
(family * 100 + order; family 1 line, 2 triangle, 3 quadrilateral), the
file's element numbers, and the nodes of element e as
nodes[offsets[e]:offsets[e + 1]], 0-based indices into points, in the
model's lattice order."""

# Names of imported lists end in " - passo N" and " (t = T)" where the
# file gives a time.
_STEP = re.compile(r" - passo (\d+)(?: \(t = ([^)]*)\))?$")


def _warn(messages, stacklevel=3):
    for message in messages:
        warnings.warn(message, ReadWarning, stacklevel=stacklevel)


class Model:
    """A result model: mesh, result lists and ranges, as the program holds it.

    Arrays are read-only NumPy arrays; those of points, values and
    displacements share the model's memory and keep it alive.
    """

    def __init__(self, core):
        self._core = core
        self._faces = None
        self._lists = None

    def __repr__(self):
        return "<orvanel.Model %r: %d nodes, %d elements, %d lists>" % (
            self.name, self.node_count, self.element_count, len(self.lists))

    @property
    def name(self):
        """The file the model was read from."""
        return self._core.name

    @property
    def node_count(self):
        return self._core.node_count

    @property
    def element_count(self):
        return self._core.element_count

    @property
    def points(self):
        """N x 3 float64: the nodes' coordinates."""
        return self._core.points

    @property
    def node_labels(self):
        """N int64: the file's node numbers (1..N for native files)."""
        return self._core.node_labels

    @property
    def inner_nodes(self):
        """N uint8: 1 for a node inside a volume, drawn by no face."""
        return self._core.inner_nodes

    @property
    def faces(self):
        """The drawn elements (Faces): faces of volume cells and the file's own
        lines, triangles and quadrilaterals."""
        if self._faces is None:
            self._faces = Faces(*self._core._faces())
        return self._faces

    @property
    def lists(self):
        """The result lists, ListInfo each, list k at index k - 1."""
        if self._lists is None:
            out = []
            for number, name, lo, hi in self._core._lists():
                m = _STEP.search(name)
                step = int(m.group(1)) if m else None
                time = float(m.group(2)) if m and m.group(2) is not None else None
                out.append(ListInfo(number, name, step, time, (lo, hi)))
            self._lists = tuple(out)
        return self._lists

    def values(self, k):
        """N float64: result list k (from 1) at every node."""
        return self._core.values(k)

    def displacement(self, k):
        """N x 3 float64: the displacement that places list k (from 1); 0 for
        the nodes' own."""
        return self._core.displacement(k)

    def info(self):
        """The text of `orvanel --info`."""
        return self._core.info()

    def to_meshio(self):
        """A meshio.Mesh: the drawn elements as cells (linear, quadratic or
        Lagrange cells, in VTK's node order), each result list as point data
        named after it, the displacements as "deslocamento" (or "NAME
        (deslocamento)" per list when they differ), and node and element numbers
        other than 1..n as GlobalNodeId and GlobalElementId."""
        import meshio
        import numpy as np
        from meshio._vtk_common import vtk_to_meshio_type

        types, offsets, nodes, elements = self._core._vtk_cells()
        cells, element_ids = [], []
        counts = np.diff(offsets)
        start = 0
        n = len(types)
        # One block per run of cells of one type and node count.
        while start < n:
            end = start
            while end < n and types[end] == types[start] and counts[end] == counts[start]:
                end += 1
            block = nodes[offsets[start]:offsets[end]].reshape(end - start, counts[start])
            cells.append(meshio.CellBlock(vtk_to_meshio_type[int(types[start])], np.array(block)))
            element_ids.append(elements[start:end])
            start = end

        point_data = {}
        for info in self.lists:
            point_data[info.name] = np.array(self.values(info.number))
        if self.lists:
            first = self.displacement(1)
            if all(np.array_equal(self.displacement(i.number), first) for i in self.lists):
                point_data["deslocamento"] = np.array(first)
            else:
                for info in self.lists:
                    point_data[info.name + " (deslocamento)"] = np.array(self.displacement(info.number))
        cell_data = {}
        labels = self.node_labels
        if not np.array_equal(labels, np.arange(1, len(labels) + 1)):
            point_data["GlobalNodeId"] = np.array(labels, dtype=np.int64)
        element_labels = self.faces.labels
        if not np.array_equal(element_labels, np.arange(1, len(element_labels) + 1)):
            cell_data["GlobalElementId"] = [
                np.array(element_labels[ids - 1], dtype=np.int64) for ids in element_ids]
        return meshio.Mesh(np.array(self.points), cells, point_data=point_data, cell_data=cell_data)


def read(path, threads=None):
    """Reads a result file in any format the program opens (native .txt,
    legacy VTK, VTK XML, Gmsh, CalculiX), chosen by its content.

    threads: reading threads (default ORVANEL_THREADS, else every core).
    Raises ReadError with the program's message; the reader's warnings are
    issued as ReadWarning."""
    if threads is not None and (not isinstance(threads, int) or threads < 1):
        raise ValueError("threads must be a positive integer, not %r" % (threads,))
    core, messages = _orvanel._read(str(path), threads or 0)
    _warn(messages)
    return Model(core)


def _source(file_or_model):
    if isinstance(file_or_model, Model):
        return file_or_model._core
    return str(file_or_model)


_OPTIONS = {name: (value, scope) for name, value, scope, _ in _orvanel._options()}


def picture_options():
    """The keywords of picture() (and of video(), but for list, title and
    scale_figure), each with its value form and description, from the command
    line's option table."""
    return {name[2:].replace("-", "_"): (value, help_text.replace("\n", " "))
            for name, value, scope, help_text in _orvanel._options()
            if scope in ("view", "picture", "figure")}


def _separator(form):
    # "MIN:MAX" -> ":", "A,B,C,D" -> ",", "WxH" -> "x"
    for i, c in enumerate(form):
        if c in ":,":
            return c
        if c == "x" and 0 < i < len(form) - 1 and form[i - 1].isupper() and form[i + 1].isupper():
            return c
    return None


def _text(value):
    if isinstance(value, float):
        return repr(value)
    return str(value)


def _arguments(keywords, scopes):
    """Command-line options of keywords: True a flag, False or None left out,
    a sequence joined by the option's separator (or the option repeated, as
    list=[1, 2])."""
    args = []
    for key, value in keywords.items():
        name = "--" + key.replace("_", "-")
        if name not in _OPTIONS or _OPTIONS[name][1] not in scopes:
            raise TypeError("unexpected keyword %r" % key)
        form = _OPTIONS[name][0]
        if value is None or value is False:
            continue
        if not form:
            if value is not True:
                raise TypeError("%s= takes True or False" % key)
            args.append(name)
            continue
        if isinstance(value, (list, tuple)):
            sep = _separator(form)
            if sep is None:
                args.extend("%s=%s" % (name, _text(v)) for v in value)
            else:
                args.append("%s=%s" % (name, sep.join(_text(v) for v in value)))
        else:
            args.append("%s=%s" % (name, _text(value)))
    return args


_PICTURE = ("view", "picture", "figure")


def picture(file_or_model, out=None, **view_options):
    """The picture of `orvanel --picture`: the 3D view of a result file or a
    Model, drawn off-screen, with each option of --picture as a keyword
    (list=3 or list=[1, 2], bands=True, legend=True, view="top",
    orbit=(-30, 45), zoom=1.2, pan=(10, 0), clip=(1, 0, 0, 0), range=(0, 1),
    displacement=(2, 50), size=(800, 600), title=True, scale_figure=2, ...;
    see picture_options()). With `out`, writes a 24-bit PNG there (replaced
    whole or not at all) and returns None; without, returns the picture as
    an H x W x 3 uint8 array."""
    image, messages = _orvanel._picture(_source(file_or_model), _arguments(view_options, _PICTURE),
                                        None if out is None else str(out))
    _warn(messages)
    return image


def video(file_or_model, out, lists, fps=None, **view_options):
    """The video of `orvanel --video`: one frame per result list of lists
    (A, B[, S]), an AVI written to `out` once finished; view options as for
    picture()."""
    keywords = dict(view_options, lists=lists, fps=fps)
    messages = _orvanel._video(_source(file_or_model), str(out), _arguments(keywords, ("view", "video", "video history")))
    _warn(messages)


NodeHistory = namedtuple("NodeHistory", "lists values file")


def history(file_or_model, node, lists, tag=None):
    """The node history of `orvanel --history`: the value of node `node`
    (the file's number) over lists (A, B[, S]), as NodeHistory(lists,
    values, file). With tag, also writes the program's list file, the
    model's file name with _TAG.lst, in the working folder."""
    keywords = {"lists": lists, "tag": tag}
    numbers, values, path, messages = _orvanel._history(
        _source(file_or_model), str(node), _arguments(keywords, ("video history", "history")), tag is not None)
    _warn(messages)
    return NodeHistory(numbers, values, path)


def from_meshio(mesh, name="meshio", time=None):
    """A Model of a meshio.Mesh, built as the program builds imported files:
    volume cells shown by their exterior faces, point and cell data as
    result lists of one step (cell data averaged onto the nodes), a
    three-component field named like a displacement as the displacement.
    GlobalNodeId and GlobalElementId point and cell data become the numbers."""
    import numpy as np
    from meshio._vtk_common import meshio_to_vtk_order, meshio_to_vtk_type

    points = np.asarray(mesh.points, dtype=np.float64)
    if points.ndim == 2 and points.shape[1] == 2:
        points = np.hstack([points, np.zeros((len(points), 1))])
    types, counts, nodes = [], [], []
    for block in mesh.cells:
        data = np.asarray(block.data, dtype=np.int64)
        if data.ndim != 2:
            raise ValueError("cells of type %s are not a table" % block.type)
        order = meshio_to_vtk_order(block.type)
        if order is not None:
            data = data[:, order]
        types.append(np.full(len(data), meshio_to_vtk_type[block.type], dtype=np.uint8))
        counts.append(np.full(len(data), data.shape[1], dtype=np.int64))
        nodes.append(data.reshape(-1))
    types = np.concatenate(types) if types else np.zeros(0, dtype=np.uint8)
    offsets = np.concatenate([[0], np.cumsum(np.concatenate(counts))]) if counts else np.zeros(1, dtype=np.int64)
    nodes = np.concatenate(nodes) if nodes else np.zeros(0, dtype=np.int64)

    fields = []
    point_labels = cell_labels = np.zeros(0, dtype=np.int64)
    for key, values in mesh.point_data.items():
        if key == "GlobalNodeId":
            point_labels = np.asarray(values, dtype=np.int64).reshape(-1)
            continue
        fields.append((key, np.asarray(values, dtype=np.float64), False))
    for key, blocks in mesh.cell_data.items():
        joined = np.concatenate([np.asarray(b) for b in blocks]) if blocks else np.zeros(0)
        if key == "GlobalElementId":
            cell_labels = np.asarray(joined, dtype=np.int64).reshape(-1)
            continue
        fields.append((key, np.asarray(joined, dtype=np.float64), True))
    core, messages = _orvanel._from_arrays(points, types, offsets, nodes, fields, point_labels, cell_labels,
                                           time, str(name))
    _warn(messages, stacklevel=2)
    return Model(core)
