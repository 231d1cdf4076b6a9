"""orvanel.read against the program: the same values as --convert writes,
the same messages as --info prints, and arrays that stay valid."""

import gc
import os
import subprocess
import sys
import threading
import warnings

import numpy as np
import pytest

import orvanel
from conftest import DATA, EXAMPLES, Native, run_program

# One fixture of each format the reader opens.
FILES = [
    os.path.join(EXAMPLES, "viga.txt"),
    os.path.join(EXAMPLES, "placa.txt"),
    os.path.join(DATA, "import", "block_ascii_42.vtk"),
    os.path.join(DATA, "import", "poly_binary_42.vtk"),
    os.path.join(DATA, "import", "vtk_xml", "ascii.vtu"),
    os.path.join(DATA, "import", "gmsh", "plate_41_bin.msh"),
    os.path.join(DATA, "import", "gmsh", "tet10_41.msh"),
    os.path.join(DATA, "import", "calculix", "beam8.frd"),
]


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_values_equal_convert_output(path, tmp_path):
    out = tmp_path / "model.txt"
    status, _, err = run_program("--convert", out, path)
    assert status == 0, err
    want = Native(out)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", orvanel.ReadWarning)
        model = orvanel.read(path)
    np.testing.assert_array_equal(model.points, want.points)
    np.testing.assert_array_equal(model.displacement(0), want.own_displacement)
    faces = model.faces
    assert len(faces.codes) == len(want.elements)
    for e, (code, nodes) in enumerate(want.elements):
        assert faces.codes[e] == code
        assert list(faces.nodes[faces.offsets[e]:faces.offsets[e + 1]] + 1) == nodes
    assert len(model.lists) == len(want.names)
    for k, info in enumerate(model.lists, start=1):
        assert info.number == k
        assert info.name.encode("utf-8") == want.names[k - 1].encode("latin-1") or \
            info.name == want.names[k - 1]
        np.testing.assert_array_equal(model.values(k), want.values[k - 1])
        np.testing.assert_array_equal(model.displacement(k), want.displacements[k - 1])
        values = model.values(k)
        assert info.range == (values.min(), values.max()) if len(values) else True


@pytest.mark.parametrize("path", FILES[:3] + FILES[5:6], ids=os.path.basename)
def test_info_is_the_programs(path):
    status, text, _ = run_program("--info", path)
    assert status == 0
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", orvanel.ReadWarning)
        assert orvanel.read(path).info() == text


def test_steps_and_times_of_imported_lists(tmp_path):
    model = orvanel.read(os.path.join(DATA, "import", "calculix", "beam8.frd"))
    assert all(info.step == 1 and info.time == 1.0 for info in model.lists)
    # Names of native files are free text: a step only where the name ends
    # as the importers write it.
    native = tmp_path / "native.txt"
    native.write_text("t\n#\n1 0\n#\n0 0 0 0 0 0\n#\n"
                      "#\nA - passo 2 (t = 0.25)\n0 0 0 1\n"
                      "#\nB - passo 3\n0 0 0 1\n"
                      "#\nC - passo 1 (P = 20 kN)\n0 0 0 1\n")
    lists = orvanel.read(native).lists
    assert [(i.step, i.time) for i in lists] == [(2, 0.25), (3, None), (None, None)]


@pytest.mark.parametrize("name", ["not_a_result_file.txt", "missing.txt", "."])
def test_bad_file_raises_the_programs_message(name, tmp_path):
    path = os.path.join(DATA, "reader", name) if name != "." else str(tmp_path)
    status, _, err = run_program("--info", path)
    assert status == 1
    with pytest.raises(orvanel.ReadError) as raised:
        orvanel.read(path)
    assert str(raised.value) == err.strip()


def test_damaged_binary_file_raises_the_programs_message(tmp_path):
    source = os.path.join(DATA, "import", "gmsh", "plate_41_bin.msh")
    with open(source, "rb") as f:
        data = bytearray(f.read())
    at = data.index(b"$Elements") + 12
    data[at:at + 8] = b"\xff" * 8
    bad = tmp_path / "bad.msh"
    bad.write_bytes(bytes(data))
    status, _, err = run_program("--info", bad)
    assert status == 1
    with pytest.raises(orvanel.ReadError, match="bad.msh") as raised:
        orvanel.read(bad)
    assert str(raised.value) == err.strip()


def test_warnings_go_through_python_warnings():
    path = os.path.join(DATA, "reader", "ends_early.txt")
    _, _, err = run_program("--info", path)
    with pytest.warns(orvanel.ReadWarning) as caught:
        orvanel.read(path)
    assert [str(w.message) for w in caught] == err.strip().split("\n")


@pytest.mark.parametrize("threads", [0, -1, 1.5, "2"])
def test_bad_thread_counts(threads):
    with pytest.raises(ValueError):
        orvanel.read(os.path.join(EXAMPLES, "viga.txt"), threads=threads)


def test_threads_read_the_same():
    path = os.path.join(EXAMPLES, "placa.txt")
    one, two = orvanel.read(path, threads=1), orvanel.read(path, threads=2)
    np.testing.assert_array_equal(one.values(3), two.values(3))


def test_arrays_are_read_only_views_that_keep_the_model():
    model = orvanel.read(os.path.join(EXAMPLES, "placa.txt"))
    want = np.array(model.values(2)), np.array(model.points), np.array(model.displacement(2))
    arrays = [model.points, model.values(2), model.displacement(2), model.node_labels,
              model.faces.codes, model.faces.nodes]
    for a in arrays:
        assert not a.flags.writeable
        with pytest.raises(ValueError):
            a[0] = 1
        with pytest.raises(ValueError):
            a.flags.writeable = True
    # Views into the model's memory, not copies.
    assert np.shares_memory(model.values(1), model.values(2)) is False
    assert model.values(2).base is not None
    del model
    gc.collect()
    # Nothing else holds the model: the arrays do, and still read its values.
    orvanel.read(os.path.join(EXAMPLES, "casca.txt"))
    np.testing.assert_array_equal(arrays[1], want[0])
    np.testing.assert_array_equal(arrays[0], want[1])
    np.testing.assert_array_equal(arrays[2], want[2])


@pytest.mark.parametrize("k", [-1, 10**6])
def test_lists_out_of_range(k):
    model = orvanel.read(os.path.join(EXAMPLES, "viga.txt"))
    with pytest.raises(IndexError):
        model.values(k)
    with pytest.raises(IndexError):
        model.displacement(k)
    with pytest.raises(IndexError):
        model.values(0)


def test_reads_run_in_parallel_threads():
    """The reader releases the GIL: threads reading at once get what one gets."""
    path = os.path.join(EXAMPLES, "placa.txt")
    want = orvanel.read(path).values(4)
    got = [None] * 4

    def work(i):
        got[i] = orvanel.read(path, threads=1).values(4)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for g in got:
        np.testing.assert_array_equal(g, want)


def test_history_equals_the_program(tmp_path):
    path = os.path.join(EXAMPLES, "viga.txt")
    status, _, err = run_program("--history", 21, "--lists", "1:5", "--tag", "tip", path, cwd=tmp_path)
    assert status == 0, err
    want = (tmp_path / "viga_tip.lst").read_bytes()
    (tmp_path / "viga_tip.lst").unlink()
    os.chdir(tmp_path)
    h = orvanel.history(path, 21, lists=(1, 5), tag="tip")
    assert (tmp_path / "viga_tip.lst").read_bytes() == want
    model = orvanel.read(path)
    assert list(h.lists) == [1, 2, 3, 4, 5]
    np.testing.assert_array_equal(h.values, [model.values(k)[20] for k in range(1, 6)])
    with pytest.raises(orvanel.OutputError):
        orvanel.history(model, 999, lists=(1, 2))


def test_first_arrays_made_by_several_threads_at_once():
    """The first arrays of a process, made by threads at once, come back (a
    process that hangs fails after a minute)."""
    script = (
        "import sys, threading, orvanel\n"
        "model = orvanel.read(sys.argv[1])\n"
        "def work():\n"
        "    for k in range(1, 4):\n"
        "        model.values(k), model.points, model.node_labels\n"
        "threads = [threading.Thread(target=work) for _ in range(4)]\n"
        "[t.start() for t in threads]\n"
        "[t.join() for t in threads]\n"
        "print('ok')\n")
    done = subprocess.run([sys.executable, "-c", script, os.path.join(EXAMPLES, "placa.txt")],
                          capture_output=True, timeout=60)
    assert done.stdout == b"ok\n", done.stderr
