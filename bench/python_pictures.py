#!/usr/bin/env python3
"""Pictures per minute through the Python module: COPIES copies of a result
file, one picture (and one node history) each, drawn by one worker process
and by two (concurrent.futures.ProcessPoolExecutor), and by two threads of one
process. Prints figures; never fails on a figure.

    PYTHONPATH=build/python python3 bench/python_pictures.py [FILE] [COPIES] [SIZE]
    (defaults: examples/placa.txt, 100, 1024x768)
"""

import os
import shutil
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import orvanel

here = os.path.dirname(os.path.abspath(__file__))
source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "placa.txt")
copies = int(sys.argv[2]) if len(sys.argv) > 2 else 100
size = sys.argv[3] if len(sys.argv) > 3 else "1024x768"


def one(path):
    orvanel.picture(path, path[:-4] + ".png", list=1, bands=True, legend=True, size=size)
    orvanel.history(path, 1, lists=(1, 2))
    return path


def main():
    folder = tempfile.mkdtemp()
    try:
        files = []
        for i in range(copies):
            path = os.path.join(folder, "run%03d.txt" % i)
            shutil.copyfile(source, path)
            files.append(path)
        print("%d copies of %s, pictures of %s, %d cores" % (copies, os.path.basename(source), size,
                                                             os.cpu_count()))
        for label, pool in [("1 process", ProcessPoolExecutor(1)), ("2 processes", ProcessPoolExecutor(2)),
                            ("2 threads", ThreadPoolExecutor(2))]:
            with pool:
                list(pool.map(one, files[:2]))  # start the workers
                t0 = time.perf_counter()
                list(pool.map(one, files))
                seconds = time.perf_counter() - t0
            print("%-12s %6.1f s  %6.0f pictures per minute" % (label, seconds, copies * 60 / seconds))
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
