# k classes around the circle: the module against the C library built beside
# the command (the same core), cuts, sigma_w bits and labels.
import ctypes
import os

import numpy as np
import pytest

import circthresh
from circthresh_reference import library_classes
from test_circthresh import BASE, IMAGES, WRAP


@pytest.fixture(scope="module")
def library():
    command = os.environ.get("CIRCTHRESH_COMMAND")
    if not command:
        pytest.fail("CIRCTHRESH_COMMAND must name the built circthresh (ctest sets it)")
    # Beside a built command; an installed command (/usr/bin) has none beside it.
    path = os.path.join(os.path.dirname(command), "libcircthresh.so.1")
    if not os.path.exists(path):
        pytest.skip("no libcircthresh.so.1 beside %s to compare with" % command)
    return ctypes.CDLL(path)


MASK = np.random.default_rng(3).random(WRAP.shape) < 0.6
CASES = [  # name, image, classes, mask, threads
    ("wrap_object_3", WRAP, 3, None, None), ("noise_4", BASE, 4, None, 2),
    ("transposed_slice_8", IMAGES["transposed_slice"], 8, None, None),
    ("masked_3", WRAP, 3, MASK, None),
    ("masked_array_5", np.ma.MaskedArray(WRAP, mask=~MASK), 5, None, None),
    ("one_level_2", IMAGES["one_level"], 2, None, None), ("empty_3", IMAGES["empty"], 3, None, None),
]


@pytest.mark.parametrize("name, image, classes, mask, threads", CASES, ids=[c[0] for c in CASES])
def test_same_classes_as_the_library(name, image, classes, mask, threads, library):
    pixels = np.ma.getdata(image)
    selected = ~np.ma.getmaskarray(image) if mask is None else mask
    cuts, sigma_w, labels = circthresh.threshold_classes(image, classes, mask, threads=threads)
    expected = library_classes(library, pixels, selected, classes)
    assert cuts == expected[0] and sigma_w == expected[1]
    assert labels.shape == pixels.shape and np.array_equal(labels, expected[2])
    counts = circthresh.histogram(pixels, selected)
    assert circthresh.threshold_classes_histogram(counts, classes) == (cuts, sigma_w)
    if cuts is not None:
        assert np.array_equal(circthresh.apply_classes(pixels, cuts, threads=threads), labels)
