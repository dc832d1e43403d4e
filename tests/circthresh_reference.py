# What the test suites of every face compare with: the command run on an array
# of levels, the C library's k classes, and the binarisation rule by hand.
import ctypes
import os
import subprocess

import numpy as np


def run_command(command, levels, scratch):
    """The command's report (text) and output raster (levels' shape) for a 2-D
    uint8 array, through PGM files in the folder scratch."""
    rows, columns = levels.shape
    source, target = os.path.join(scratch, "command-in.pgm"), os.path.join(scratch, "command-out.pgm")
    with open(source, "wb") as out:
        out.write(b"P5\n%d %d\n255\n" % (columns, rows) + np.ascontiguousarray(levels, np.uint8).tobytes())
    done = subprocess.run([command, source, target], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    with open(target, "rb") as written:
        data = written.read()
    header = b"P5\n#created by Quenbarlit\n%d %d\n255\n" % (columns, rows)
    assert data.startswith(header), data[:40]
    return done.stdout, np.frombuffer(data[len(header):], dtype=np.uint8).reshape(rows, columns)


def library_classes(library, levels, counted, classes):
    """(cuts or None, sigma_w, labels) of the C library (a ctypes.CDLL or the
    path of libcircthresh.so.1) for the levels where counted is true."""
    if not isinstance(library, ctypes.CDLL):
        library = ctypes.CDLL(library)
    flat = np.ascontiguousarray(levels, np.uint8).reshape(-1)
    counts = np.bincount(flat[np.asarray(counted, bool).reshape(-1)], minlength=256).astype(np.uint64)
    cuts, sigma_w = (ctypes.c_int * classes)(), ctypes.c_double()
    assert library.circthresh_threshold_classes_counts(
        counts.ctypes.data_as(ctypes.c_void_p), classes, cuts, ctypes.byref(sigma_w)) == 0
    labels = np.zeros(flat.shape, np.uint8)
    if cuts[0] >= 0:
        assert library.circthresh_apply_classes(
            ctypes.c_void_p(flat.ctypes.data), ctypes.c_size_t(1), ctypes.c_size_t(flat.size),
            ctypes.c_ssize_t(flat.size), cuts, classes, ctypes.c_void_p(labels.ctypes.data),
            ctypes.c_ssize_t(flat.size)) == 0
    return (tuple(cuts) if cuts[0] >= 0 else None), sigma_w.value, labels.reshape(np.shape(levels))


def binarised(levels, t):
    """Levels t..t+127 around the circle become 0, all others 255."""
    return np.where((np.asarray(levels).astype(np.int64) - t) % 256 < 128, 0, 255).astype(np.uint8)
