# The module against the command built beside it, the mask against counts made
# with numpy, and threads.
import doctest
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import circthresh
from circthresh_reference import binarised

RNG = np.random.default_rng(13)
BASE = RNG.integers(0, 256, (61, 53), dtype=np.uint8)
# A disc of hues from 236 through 255 and 0 to 20 on a background near 128.
DISC = (np.mgrid[0:90, 0:120] - np.array([45, 50])[:, None, None]) ** 2
WRAP = np.where(DISC.sum(0) < 900, RNG.integers(-20, 21, (90, 120)) % 256,
                RNG.integers(110, 150, (90, 120))).astype(np.uint8)


def report(t, sigma_w):
    return b"thresholding at %d\nsigma_W %f\n" % (t, sigma_w)


IMAGES = {
    "noise": BASE, "wrap_object": WRAP, "one_level": np.full((7, 9), 77, np.uint8),
    "only_0_and_255": np.where(RNG.random((20, 30)) < 0.3, 0, 255).astype(np.uint8),
    "one_pixel": np.array([[200]], np.uint8), "empty": np.zeros((0, 0), np.uint8),
    "no_rows": np.zeros((0, 5), np.uint8), "no_columns": np.zeros((4, 0), np.uint8),
    "every_second_and_third": BASE[::2, ::3], "transpose": WRAP.T, "reversed": BASE[::-1, ::-1],
    "column_major": np.asfortranarray(BASE), "inner_slice": BASE[5:40, 3:30],
    "transposed_slice": BASE[::-3, 1::2].T, "one_column": BASE[:, 7:8],
    "repeated_row": np.broadcast_to(BASE[0], (40, 53)),
}


@pytest.mark.parametrize("name", IMAGES)
def test_same_answer_as_the_command(name, run_command):
    image = IMAGES[name]
    t, sigma_w, binary = circthresh.threshold(image)
    printed, raster = run_command(image)
    assert report(t, sigma_w) == printed
    assert binary.dtype == np.uint8 and binary.shape == image.shape
    assert np.array_equal(binary, raster) and not np.shares_memory(binary, image)


def test_larger_than_the_command_takes(run_command):
    # The command stops at 5000 columns; the histogram does not depend on the
    # layout, so the same pixels in 3 rows give it the same report.
    image = WRAP.reshape(1, -1)[:, :10800]
    t, sigma_w, binary = circthresh.threshold(image)
    printed, raster = run_command(image.reshape(3, 3600))
    assert report(t, sigma_w) == printed and np.array_equal(binary.reshape(3, 3600), raster)


@pytest.mark.parametrize("pixels", [WRAP[:40].ravel(), np.zeros(0, np.uint8)])
def test_histogram_same_answer_as_the_command(pixels, run_command):
    counts = np.bincount(pixels, minlength=256)
    printed, _ = run_command(pixels[None, :])
    for form in (counts.tolist(), counts.astype(np.int32), counts.astype(np.uint64)):
        assert report(*circthresh.threshold_histogram(form)) == printed


MASKS = {
    "random": RNG.random(BASE.shape) < 0.4, "reversed_view": (RNG.random(BASE.shape) < 0.7)[::-1],
    "column_major": np.asfortranarray(BASE > 100), "everything": np.ones(BASE.shape, bool),
}


@pytest.mark.parametrize("name", MASKS)
def test_mask_counts_the_selected_pixels(name, run_command):
    mask, image = MASKS[name], np.asfortranarray(BASE)  # walked unlike most masks
    t, sigma_w, binary = circthresh.threshold(image, mask)
    assert (t, sigma_w) == circthresh.threshold_histogram(np.bincount(image[mask], minlength=256))
    assert report(t, sigma_w) == run_command(image[mask][None, :])[0]
    assert np.array_equal(binary, binarised(image, t))


def test_mask_selecting_nothing():
    t, sigma_w, binary = circthresh.threshold(BASE, np.zeros(BASE.shape, bool))
    assert (t, sigma_w) == (-1, 9e20) and np.array_equal(binary, binarised(BASE, -1))


def test_threads_get_the_answers_of_one_thread():
    images = [np.roll(WRAP, k * 7) for k in range(8)]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(circthresh.threshold, images))
    for image, (t, sigma_w, binary) in zip(images, together):
        alone = circthresh.threshold(image)
        assert (t, sigma_w) == alone[:2] and np.array_equal(binary, alone[2])


def test_docstring_examples():
    # Worked by hand: 250 and 5 once, 128 twice; cuts t = 6..122 keep 250 and 5
    # together at 250 and 261 (spread 2 * 0.25 * 5.5^2 = 15.125), 128 alone.
    failed, attempted = doctest.testmod(circthresh)
    assert attempted > 0 and failed == 0


@pytest.mark.parametrize("counts", [[2**63, 1] + [0] * 254, (2**64 - 256,) + (1,) * 255])
def test_integer_counts_that_fit_uint64(counts):
    assert circthresh.threshold_histogram(counts) == \
        circthresh.threshold_histogram(np.array(counts, dtype=np.uint64))


@pytest.mark.parametrize("shape, warns", [((6, 5, 3), True), ((6, 5, 4), True), ((3, 6, 5), False)])
def test_colour_looking_arrays_warn(shape, warns):
    import warnings
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        answer = circthresh.threshold(BASE.ravel()[:np.prod(shape)].reshape(shape))
    assert [("hue(" in str(w.message)) for w in caught] == ([True] if warns else [])
    assert answer[:2] == circthresh.threshold(BASE.ravel()[:np.prod(shape)])[:2]
