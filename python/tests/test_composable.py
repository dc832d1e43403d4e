# The functions one step at a time: counts against numpy's, the binary against
# the rule by hand, threads, masked arrays, angles, pickling and other processes.
import multiprocessing
import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest

import circthresh
from circthresh_reference import binarised

RNG = np.random.default_rng(19)
STACK = RNG.integers(0, 256, (5, 41, 37), dtype=np.uint8)
# Large enough that two threads each get a share of every pass.
LARGE = RNG.integers(0, 256, (3, 300, 1100), dtype=np.uint8)
# Large enough that up to three threads count contiguous runs in pairs of pixels.
PAIRED = RNG.integers(0, 256, (2100, 3002), dtype=np.uint8)[:, 1:]

VIEWS = {
    "2-D": STACK[0], "1-D": STACK.ravel(), "1-D_reversed": STACK.ravel()[::-7],
    "3-D": STACK, "3-D_transposed": STACK.transpose(2, 0, 1), "3-D_fortran": np.asfortranarray(STACK),
    "negative_strides": STACK[::-1, ::-2, ::-3], "view": STACK[1:4, 5:30, 2:-2],
    "transposed_view": STACK[:, ::2, 1::3].T, "4-D": STACK.reshape(5, 1, 41, 37)[:, :, ::-1],
    "broadcast": np.broadcast_to(STACK[0, 0], (50, 37)), "one_pixel": STACK[2, 3, 4:5],
    "empty": STACK[:, :0], "large": LARGE, "large_transposed": LARGE[:, ::-1].T,
    "paired_rows": PAIRED,
}


@pytest.mark.parametrize("threads", [1, 2, 3, None, 2**40])
@pytest.mark.parametrize("name", VIEWS)
def test_histogram_counts_as_bincount_does(name, threads):
    image = VIEWS[name]
    counts = circthresh.histogram(image, threads=threads)
    assert counts.dtype == np.uint64 and counts.shape == (256,)
    assert np.array_equal(counts, np.bincount(image.ravel(), minlength=256))


@pytest.mark.parametrize("t", [-1, 0, 64, 127])
@pytest.mark.parametrize("name", VIEWS)
def test_apply_threshold_follows_the_rule(name, t):
    image = VIEWS[name]
    for threads in (1, 2):
        binary = circthresh.apply_threshold(image, np.int16(t) if t == 64 else t, threads=threads)
        assert binary.shape == image.shape and not np.shares_memory(binary, image)
        assert np.array_equal(binary, binarised(image, t))


# A (1100, 300, 3) view is no photo here: its warning is not this test's subject.
@pytest.mark.filterwarnings("ignore:threshold. an array of shape")
@pytest.mark.parametrize("name", ["3-D", "negative_strides", "large", "large_transposed"])
def test_threshold_is_its_steps(name):
    image = VIEWS[name]
    mask = image % 3 != 0
    for selection in (None, mask):
        t, sigma_w, binary = circthresh.threshold(image, selection, threads=1)
        expected = image if selection is None else image[selection]
        assert (t, sigma_w) == circthresh.threshold_histogram(
            np.bincount(expected.ravel(), minlength=256))
        assert np.array_equal(binary, binarised(image, t))
        two = circthresh.threshold(image, selection, threads=2)
        assert two[:2] == (t, sigma_w) and np.array_equal(two[2], binary)


MASKED = {
    "mask_of_masked_array": (np.ma.masked_less(STACK, 100), None),
    "nomask": (np.ma.MaskedArray(STACK), None),
    "both_masks": (np.ma.masked_greater(STACK, 200), STACK % 2 == 0),
    "broadcast_mask": (np.ma.masked_equal(STACK, 7), STACK[0] > 50),
    "reversed_views": (np.ma.masked_less(LARGE, 30)[::-1], (LARGE % 5 == 0)[::-1]),
    "masked_mask": (np.ma.MaskedArray(STACK), np.ma.masked_where(STACK < 50, STACK % 2 == 0)),
}


@pytest.mark.parametrize("name", MASKED)
def test_masked_arrays_count_only_what_is_shown(name):
    image, mask = MASKED[name]
    counted = ~np.ma.getmaskarray(image) & (True if mask is None else np.ma.filled(mask, False))
    expected = np.bincount(image.data[counted], minlength=256)
    assert np.array_equal(circthresh.histogram(image, mask, threads=2), expected)
    t, sigma_w, binary = circthresh.threshold(image, mask)
    assert (t, sigma_w) == circthresh.threshold_histogram(expected)
    assert type(binary) is np.ndarray and np.array_equal(binary, binarised(image.data, t))


QUARTERS = [(360.0, 0.0, [0, 90, 180, 270, 360, -90, 720]),
            (np.pi, 0.0, [0, np.pi / 4, np.pi / 2, 3 * np.pi / 4, -np.pi, -np.pi / 4, 0]),
            (180.0, 45.0, [45, 90, 135, 180, 225, 0, -315]),
            (2 * np.pi, -np.pi, [-np.pi, -np.pi / 2, 0, np.pi / 2, np.pi, -3 * np.pi / 2, 5 * np.pi])]


@pytest.mark.parametrize("dtype", [np.float64, np.float32])
@pytest.mark.parametrize("period, offset, angles", QUARTERS)
def test_quarter_turns_are_64_levels_apart(period, offset, angles, dtype):
    levels = circthresh.angles_to_levels(np.array(angles, dtype), period, offset)
    assert levels.dtype == np.uint8 and levels.tolist() == [0, 64, 128, 192, 0, 192, 0]


FORMULA_CASES = {
    "float64_orientation": (RNG.uniform(-10, 10, (30, 40)), np.pi, 0.3),
    "float32_degrees_view": (RNG.uniform(-720, 720, (40, 50)).astype(np.float32)[::-2, 1::3], 360, 0),
    "float64_3-D_transposed": (RNG.normal(0, 100, (4, 30, 20)).transpose(1, 2, 0), 7.5, -2.0),
    "halves": (np.arange(-40, 40) * 0.5, 256, 0),
    "huge": (np.array([1e17, -3e19, 2.5e300, 123456789.5]), 256, 0),
    "integers": (np.arange(-1000, 1000, 7, dtype=np.int32), 100, 3),
    "big_endian": (RNG.uniform(-400, 400, 50).astype(">f8"), 360, 10),
    "unaligned": (np.frombuffer(b"x" + RNG.uniform(-9, 9, 41).tobytes(), np.float64, offset=1), 2, 0),
    "float16": (RNG.uniform(-100, 100, 60).astype(np.float16), 90, 0),
}


@pytest.mark.parametrize("name", FORMULA_CASES)
def test_angles_follow_the_formula(name):
    angles, period, offset = FORMULA_CASES[name]
    wide = angles.astype(np.float64)
    expected = np.mod(np.rint((wide - offset) * (256.0 / period)), 256).astype(np.uint8)
    levels = circthresh.angles_to_levels(angles, period, offset)
    assert levels.shape == angles.shape and np.array_equal(levels, expected)


def test_masked_angles_stay_masked():
    angles = np.ma.masked_invalid(np.array([90.0, np.nan, 180.0, np.inf]))
    levels = circthresh.angles_to_levels(angles, 360)
    assert levels.mask.tolist() == [False, True, False, True] and levels[[0, 2]].tolist() == [64, 128]


FUNCTIONS = [circthresh.threshold, circthresh.histogram, circthresh.threshold_histogram,
             circthresh.apply_threshold, circthresh.angles_to_levels]


@pytest.mark.parametrize("function", FUNCTIONS)
def test_functions_pickle_by_reference(function):
    assert pickle.loads(pickle.dumps(function)) is function


def test_ctrl_c_stops_a_long_pass():
    # 2**36 pixels, a broadcast view: a minute of counting unless the pass
    # stops between its pieces.
    image = np.broadcast_to(STACK[0, 0, :1], (2**20, 2**16))
    # Python's own handler, as in a terminal: a shell that starts a job in the
    # background leaves SIGINT ignored, and a run of the tests may inherit that.
    inherited = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        started = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            circthresh.histogram(image, threads=2)
        assert time.monotonic() - started < 10
    finally:
        signal.signal(signal.SIGINT, inherited)


def test_a_process_pool_runs_them():
    images = [np.roll(STACK, k, axis=2) for k in range(4)]
    # spawn: fresh interpreters that import circthresh from what was pickled.
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        counts = pool.map(circthresh.histogram, images)
        binaries = pool.starmap(circthresh.apply_threshold, [(image, 64) for image in images])
    for image, count, binary in zip(images, counts, binaries):
        assert np.array_equal(count, np.bincount(image.ravel(), minlength=256))
        assert np.array_equal(binary, binarised(image, 64))
