"""orvanel.picture and video against the program's --picture and --video:
the same pixels for the same options."""

import os
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import orvanel
from conftest import DATA, EXAMPLES, png_pixels, run_program

pytestmark = pytest.mark.gl

PLACA = os.path.join(EXAMPLES, "placa.txt")

# Keywords and the same options on the command line.
CASES = [
    ({}, []),
    ({"list": 3, "bands": True, "mesh": True, "legend": True, "orbit": (-30, 45)},
     ["--list", "3", "--bands", "--mesh", "--legend", "--orbit", "-30,45"]),
    ({"list": [1, 2], "view": "top", "zoom": 1.5, "pan": (20, -10), "scale": 2},
     ["--list", "1", "--list", "2", "--view", "top", "--zoom", "1.5", "--pan", "20,-10", "--scale", "2"]),
    ({"list": 4, "range": (0, 0.5), "negative": True, "clip": (1, 0, 0, 0), "deformed_mesh": True,
      "displacement": (3, 80)},
     ["--list", "4", "--range", "0:0.5", "--negative", "--clip", "1,0,0,0", "--deformed-mesh",
      "--displacement", "3:80"]),
    ({"list": 2, "title": True, "scale_figure": 2, "size": "200x150", "extremes": True, "legend": True},
     ["--list", "2", "--title", "--scale-figure", "2", "--size", "200x150", "--extremes", "--legend"]),
    ({"nodes": True, "node_numbers": True, "element_numbers": True, "solid": True, "transparency": 40,
      "filter": (-1, 2, -1)},
     ["--nodes", "--node-numbers", "--element-numbers", "--solid", "--transparency", "40",
      "--filter", "-1,2,-1"]),
]


@pytest.mark.parametrize("keywords,options", CASES, ids=range(len(CASES)))
def test_picture_equals_the_program(keywords, options, tmp_path):
    keywords = dict({"size": (320, 240)}, **keywords)
    if "--size" not in options:
        options = ["--size", "320x240"] + options
    status, _, err = run_program("--picture", tmp_path / "program.png", *options, PLACA)
    assert status == 0, err
    want = png_pixels(tmp_path / "program.png")
    got = orvanel.picture(PLACA, **keywords)
    assert got.dtype == np.uint8 and got.shape == want.shape
    np.testing.assert_array_equal(got, want)
    # Written by the module: the same PNG.
    orvanel.picture(orvanel.read(PLACA), tmp_path / "module.png", **keywords)
    assert (tmp_path / "module.png").read_bytes() == (tmp_path / "program.png").read_bytes()


def test_every_view_option_is_a_keyword():
    status, text, _ = run_program("--help")
    assert status == 0
    keywords = orvanel.picture_options()
    section = text[text.index("View options"):text.index("Environment:")]
    options = [line.split()[0] for line in section.splitlines() if line.startswith("  --")]
    assert len(options) > 20
    for option in options:
        # An optional value is written after the name: --arrows[=FIELD].
        assert option[2:].split("[")[0].replace("-", "_") in keywords


@pytest.mark.parametrize("keywords,error,message", [
    ({"size": (0, 10)}, orvanel.UsageError, "bad value '0x10' for --size"),
    ({"view": "sideways"}, orvanel.UsageError, "--view"),
    ({"colour": 3}, TypeError, "colour"),
    ({"bands": 3}, TypeError, "bands"),
    ({"list": 99}, orvanel.OutputError, ""),
])
def test_bad_options(keywords, error, message, tmp_path):
    with pytest.raises(error, match=message):
        orvanel.picture(PLACA, tmp_path / "x.png", **keywords)
    assert not (tmp_path / "x.png").exists()


def test_bad_file_leaves_no_picture(tmp_path):
    with pytest.raises(orvanel.ReadError):
        orvanel.picture(os.path.join(DATA, "reader", "not_a_result_file.txt"), tmp_path / "x.png")
    assert not (tmp_path / "x.png").exists()


def test_threads_draw_the_same_pictures():
    """Drawing releases the GIL; pictures of both colour scales at once come
    out as they do one at a time."""
    model = orvanel.read(PLACA)
    jobs = [{"list": k, "scale": 1 + k % 2, "size": (160, 120), "bands": k % 3 == 0, "range": (0, 1) if k == 4 else None}
            for k in range(1, 7)]
    want = [orvanel.picture(model, **j) for j in jobs]
    with ThreadPoolExecutor(3) as pool:
        got = list(pool.map(lambda j: orvanel.picture(model, **j), jobs + jobs))
    for g, w in zip(got, want + want):
        np.testing.assert_array_equal(g, w)


def test_video_equals_the_program(tmp_path):
    options = ["--lists", "1:4", "--fps", "2", "--size", "160x120", "--deformed-mesh"]
    status, _, err = run_program("--video", tmp_path / "program.avi", *options, PLACA)
    assert status == 0, err
    orvanel.video(PLACA, tmp_path / "module.avi", lists=(1, 4), fps=2, size=(160, 120), deformed_mesh=True)
    assert (tmp_path / "module.avi").read_bytes() == (tmp_path / "program.avi").read_bytes()
