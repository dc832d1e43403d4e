# circthresh.hue against the definition written plainly in numpy, on every
# 8-bit colour in the layouts a photo comes in; its bad arguments; the photo
# recipe of docs/recipes.md against the command.
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

import circthresh
from command_rule import binarised

COLOUR = np.arange(2**24, dtype=np.uint32).reshape(4096, 4096)
RGB = np.stack([COLOUR >> 16, (COLOUR >> 8) & 255, COLOUR & 255], axis=-1).astype(np.uint8)


def expected(rgb, percent):
    """HSV hue, one turn in 256 levels rounded half up; below: saturation < percent."""
    r, g, b = (rgb[..., k].astype(np.int32) for k in range(3))
    top = np.maximum(np.maximum(r, g), b)
    chroma = top - np.minimum(np.minimum(r, g), b)
    sixths = np.where(top == r, g - b, np.where(top == g, b - r + 2 * chroma, r - g + 4 * chroma))
    sixths %= np.maximum(6 * chroma, 1)
    # round(256 sixths / (6 chroma)) = floor((512 sixths + 6 chroma) / (12 chroma)); grey: 0
    level = (512 * sixths + 6 * chroma) // np.maximum(12 * chroma, 1) % 256
    below = (100 * chroma < percent * top) | ((top == 0) & (percent > 0))
    return level, below


LAYOUTS = {  # name: (photo, floor, threads)
    "rgb": (lambda: RGB, 25, 1),
    "rgba": (lambda: np.dstack([RGB, COLOUR.astype(np.uint8)]), 0, 2),
    "bgr_reversed": (lambda: np.ascontiguousarray(RGB[..., ::-1])[..., ::-1], 100, None),
    "strided_transposed": (lambda: np.repeat(RGB, 2, axis=1)[:, ::2].transpose(1, 0, 2), 25, 2),
    "no_floor": (lambda: RGB[::-1], None, None),
    "masked": (lambda: np.ma.MaskedArray(RGB, mask=(COLOUR % 3 == 0)[..., None] & [0, 1, 0]), 25, 2),
}


@pytest.mark.parametrize("name", LAYOUTS)
def test_every_colour_follows_the_definition(name):
    make, floor, threads = LAYOUTS[name]
    photo = make()
    got = circthresh.hue(photo, min_saturation=floor, threads=threads)
    level, below = expected(np.ma.getdata(photo), floor or 0)
    hidden = np.ma.getmaskarray(photo).any(axis=-1)
    assert got.dtype == np.uint8 and got.shape == photo.shape[:-1]
    assert np.array_equal(np.ma.getdata(got), level)
    want_mask = (below if floor is not None else False) | hidden
    assert np.array_equal(np.ma.getmaskarray(got), want_mask)


BAD_CALLS = [
    (TypeError, "uint8", lambda: circthresh.hue(RGB[:2].astype(np.uint16))),
    (TypeError, "numpy array", lambda: circthresh.hue([[255, 0, 0]])),
    (ValueError, "3 or 4 channels", lambda: circthresh.hue(RGB[..., :2])),
    (ValueError, "3 or 4 channels", lambda: circthresh.hue(RGB[0, 0, 0, ...])),
    (ValueError, "0..100", lambda: circthresh.hue(RGB[:2], min_saturation=101)),
    (ValueError, "0..100", lambda: circthresh.hue(RGB[:2], min_saturation=-1)),
    (TypeError, "int", lambda: circthresh.hue(RGB[:2], min_saturation=25.0)),
    (ValueError, "threads", lambda: circthresh.hue(RGB[:2], threads=0)),
]


@pytest.mark.parametrize("error, expected_text, call", BAD_CALLS)
def test_bad_arguments_say_what_was_expected(error, expected_text, call):
    with pytest.raises(error, match=expected_text):
        call()


def test_photo_recipe_gives_the_commands_report(scratch, run_command):
    cv2 = pytest.importorskip("cv2", reason="needs OpenCV (Debian: python3-opencv)")
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    top = os.path.join(scratch, "hue-recipe")
    os.makedirs(os.path.join(top, "examples"))
    shutil.copy(os.path.join(root, "examples", "flag.png"), os.path.join(top, "examples"))
    recipe = os.path.join(root, "tests", "recipes", "hue-module.py")
    printed = subprocess.run([sys.executable, recipe], cwd=top, capture_output=True, check=True).stdout
    hue = circthresh.hue(cv2.imread(os.path.join(top, "examples", "flag.png"))[..., ::-1], min_saturation=25)
    # The counted pixels, 10128, in 3 rows: the command takes at most 5000 columns.
    assert printed == run_command(hue.compressed().reshape(3, -1))[0]
    t = int(printed.split()[2])
    read = lambda name: cv2.imread(os.path.join(top, "out", name), cv2.IMREAD_UNCHANGED)
    assert np.array_equal(read("hue-module.pgm"), hue.data)
    assert np.array_equal(read("mask-module.pgm"), binarised(hue.data, t))
