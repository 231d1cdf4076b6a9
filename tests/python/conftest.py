"""Shared pieces of the Python module's tests: where the program and the
fixtures are (set by CTest), running the program, and reading its outputs
without the module (a native .txt parser, a PNG decoder)."""

import os
import struct
import subprocess
import zlib

import numpy as np
import pytest

SOURCE = os.environ.get("ORVANEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(SOURCE, "tests", "data")
EXAMPLES = os.path.join(SOURCE, "examples")
PROGRAM = os.path.abspath(os.environ["ORVANEL_BINARY"]) if "ORVANEL_BINARY" in os.environ else "orvanel"


def pytest_configure(config):
    config.addinivalue_line("markers", "gl: draws with the off-screen OpenGL context")


def run_program(*args, cwd=None):
    """The program's exit status, standard output and standard error."""
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    done = subprocess.run([PROGRAM, *map(str, args)], capture_output=True, cwd=cwd, env=env)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


class Native:
    """A native result file as --convert writes it: one record a line."""

    def __init__(self, path):
        with open(path, "rb") as f:
            lines = f.read().split(b"\n")
        at = 2
        nnode, nelem = map(int, lines[at].split())
        at += 2
        rows = [list(map(float, lines[at + i].split())) for i in range(nnode)]
        self.points = np.array([r[:3] for r in rows]).reshape(nnode, 3)
        self.own_displacement = np.array([r[3:6] for r in rows]).reshape(nnode, 3)
        at += nnode + 1
        self.elements = []
        for i in range(nelem):
            family, order, *nodes = map(int, lines[at + i].split())
            self.elements.append((family * 100 + order, nodes))
        at += nelem
        self.names, self.values, self.displacements = [], [], []
        while at < len(lines) and lines[at].startswith(b"#"):
            self.names.append(lines[at + 1].decode("latin-1"))
            rows = [list(map(float, lines[at + 2 + i].split())) for i in range(nnode)]
            self.displacements.append(np.array([r[:3] for r in rows]).reshape(nnode, 3))
            self.values.append(np.array([r[3] for r in rows]))
            at += 2 + nnode


def png_pixels(path):
    """H x W x 3 uint8 of a non-interlaced 8-bit RGB PNG, as the program writes."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = np.frombuffer(zlib.decompress(idat), dtype=np.uint8).reshape(height, 1 + width * 3)
    out = np.zeros((height, width * 3), dtype=np.int32)
    prev = np.zeros(width * 3, dtype=np.int32)
    for y in range(height):
        kind, row = raw[y, 0], raw[y, 1:].astype(np.int32)
        if kind == 0:
            cur = row
        elif kind == 2:
            cur = (row + prev) & 255
        else:  # Sub, Average and Paeth depend on the pixel to the left: byte by byte
            cur = np.zeros_like(row)
            for x in range(len(row)):
                a = cur[x - 3] if x >= 3 else 0
                b = prev[x]
                c = prev[x - 3] if x >= 3 else 0
                if kind == 1:
                    p = a
                elif kind == 3:
                    p = (a + b) // 2
                else:
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[x] = (row[x] + p) & 255
        out[y] = cur
        prev = cur
    return out.astype(np.uint8).reshape(height, width, 3)


@pytest.fixture
def data():
    return DATA


@pytest.fixture
def examples():
    return EXAMPLES
