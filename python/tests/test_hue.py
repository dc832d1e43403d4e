# circthresh.hue against the definition in plain numpy on every 8-bit colour, in
# a photo's layouts; its bad arguments; the photo recipe against the command.
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

import circthresh
from circthresh_reference import binarised

COLOUR = np.arange(2**24, dtype=np.uint32).reshape(4096, 4096)
RGB = np.stack([COLOUR >> 16, (COLOUR >> 8) & 255, COLOUR & 255], axis=-1).astype(np.uint8)


def expected(rgb, percent):  # HSV hue, one turn in 256 levels; below: saturation < percent
    r, g, b = (rgb[..., k].astype(np.int32) for k in range(3))
    top = np.maximum(np.maximum(r, g), b)
    chroma = top - np.minimum(np.minimum(r, g), b)
    sixths = np.where(top == r, g - b, np.where(top == g, b - r + 2 * chroma,
                                                r - g + 4 * chroma)) % np.maximum(6 * chroma, 1)
    # round(256 sixths / (6 chroma)) = floor((512 sixths + 6 chroma) / (12 chroma)); grey: 0
    level = (512 * sixths + 6 * chroma) // np.maximum(12 * chroma, 1) % 256
    below = (100 * chroma < percent * top) | ((top == 0) & (percent > 0))
    return level, below


LAYOUTS = {  # name: (photo, floor, threads)
    "rgba": (lambda: np.dstack([RGB, COLOUR.astype(np.uint8)]), 0, 2),
    "bgr_read_reversed": (lambda: np.ascontiguousarray(RGB[..., ::-1])[..., ::-1], 100, None),
    "strided_transposed": (lambda: np.repeat(RGB, 2, axis=1)[:, ::2].transpose(1, 0, 2), 25, 2),
    "rgb_masked": (lambda: np.ma.MaskedArray(RGB, mask=(COLOUR % 3 == 0)[..., None] & [0, 1, 0]), 25, 1),
}


@pytest.mark.parametrize("name", LAYOUTS)
def test_every_colour_follows_the_definition(name):
    make, floor, threads = LAYOUTS[name]
    got = circthresh.hue(photo := make(), min_saturation=floor, threads=threads)
    level, below = expected(np.ma.getdata(photo), floor)
    assert got.dtype == np.uint8 and np.array_equal(np.ma.getdata(got), level)
    assert np.array_equal(got.mask, below | np.ma.getmaskarray(photo).any(axis=-1))


def test_photo_recipe_gives_the_commands_report(scratch, run_command):
    cv2 = pytest.importorskip("cv2", reason="needs OpenCV (Debian: python3-opencv)")
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    top = os.path.join(scratch, "hue-recipe")
    shutil.copytree(os.path.join(root, "examples"), os.path.join(top, "examples"))
    printed = subprocess.run([sys.executable, os.path.join(root, "tests", "recipes", "hue-module.py")],
                             cwd=top, capture_output=True, check=True).stdout
    read = lambda *path: cv2.imread(os.path.join(top, *path), cv2.IMREAD_UNCHANGED)
    hue = circthresh.hue(read("examples", "flag.png")[..., ::-1], min_saturation=25)
    # The 10128 counted pixels in 3 rows: the command takes at most 5000 columns.
    assert printed == run_command(hue.compressed().reshape(3, -1))[0]
    assert np.array_equal(read("out", "mask-module.pgm"), binarised(hue.data, int(printed.split()[2])))
