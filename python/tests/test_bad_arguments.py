# Every kind of bad argument to every function, one row each: the error and
# the words of its message that say what was expected.
import numpy as np
import pytest

import circthresh

SQUARE = np.zeros((4, 4), np.uint8)
STACK = np.random.default_rng(19).integers(0, 256, (5, 41, 37), dtype=np.uint8)
RGB = np.random.default_rng(5).integers(0, 256, (2, 3, 3), dtype=np.uint8)
BAD_CALLS = [
    (TypeError, "uint8", lambda: circthresh.threshold(SQUARE.astype(np.float32) / 255)),
    (TypeError, "uint8", lambda: circthresh.threshold(SQUARE.astype(np.uint16))),
    (TypeError, "uint8", lambda: circthresh.threshold(SQUARE.tolist())),
    (ValueError, "0-D", lambda: circthresh.threshold(SQUARE[0, 0, ...])),
    (TypeError, "numpy scalar", lambda: circthresh.threshold(np.uint8(5))),
    (TypeError, "bool", lambda: circthresh.threshold(SQUARE, SQUARE)),
    (ValueError, "shape", lambda: circthresh.threshold(SQUARE[:3], np.ones((4, 3), bool))),
    (ValueError, "256", lambda: circthresh.threshold_histogram([1] * 255)),
    (ValueError, "256", lambda: circthresh.threshold_histogram(np.ones((1, 256), int))),
    (ValueError, "non-negative", lambda: circthresh.threshold_histogram([1] * 255 + [-1])),
    (TypeError, "integers", lambda: circthresh.threshold_histogram([0.5] * 256)),
    (ValueError, "64 bits", lambda: circthresh.threshold_histogram(np.full(256, 2**62, np.uint64))),
    (ValueError, "2..16", lambda: circthresh.threshold_classes(SQUARE, 1)),
    (ValueError, "2..16", lambda: circthresh.threshold_classes_histogram([1] * 256, 17)),
    (TypeError, "int", lambda: circthresh.threshold_classes(SQUARE, 3.0)),
    (ValueError, "64 bits", lambda: circthresh.threshold_classes_histogram(
        np.full(256, 2**62, np.uint64), 3)),
    (ValueError, "increasing", lambda: circthresh.apply_classes(SQUARE, (5, 5, 9))),
    (ValueError, "increasing", lambda: circthresh.apply_classes(SQUARE, (5, 256))),
    (ValueError, "2..16", lambda: circthresh.apply_classes(SQUARE, (5,))),
    (TypeError, "uint8", lambda: circthresh.apply_classes(SQUARE.astype(np.int8), (1, 2))),
    (TypeError, "bool", lambda: circthresh.threshold_classes(SQUARE, 3, SQUARE)),
    (TypeError, "256 integer counts", lambda: circthresh.threshold_histogram(None)),
    (ValueError, "masked", lambda: circthresh.threshold_histogram(np.ma.masked_equal([1] * 256, 1))),
    (ValueError, "threads", lambda: circthresh.histogram(STACK, threads=0)),
    (ValueError, "threads", lambda: circthresh.threshold(STACK, threads=-2)),
    (TypeError, "threads", lambda: circthresh.apply_threshold(STACK, 0, threads=1.5)),
    (TypeError, "threads", lambda: circthresh.histogram(STACK, threads=True)),
    (ValueError, "-1..127", lambda: circthresh.apply_threshold(STACK, 128)),
    (ValueError, "-1..127", lambda: circthresh.apply_threshold(STACK, -2)),
    (TypeError, "int", lambda: circthresh.apply_threshold(STACK, 6.0)),
    (TypeError, "uint8", lambda: circthresh.apply_threshold(STACK.astype(np.int8), 0)),
    (ValueError, "0-D", lambda: circthresh.histogram(STACK[0, 0, 0, ...])),
    (TypeError, "numpy scalar", lambda: circthresh.histogram(STACK[0, 0, 0])),
    (ValueError, "broadcasts", lambda: circthresh.histogram(STACK, STACK[:, 0] > 0)),
    (ValueError, "finite", lambda: circthresh.angles_to_levels([1.0, np.nan], 360)),
    (ValueError, "finite", lambda: circthresh.angles_to_levels(np.float32([np.inf]), 360)),
    (ValueError, "finite", lambda: circthresh.angles_to_levels([1e308], 1e-10)),
    (ValueError, "greater than 0", lambda: circthresh.angles_to_levels([1.0], 0)),
    (ValueError, "finite", lambda: circthresh.angles_to_levels([1.0], np.inf)),
    (ValueError, "period", lambda: circthresh.angles_to_levels([1.0], 10**400)),
    (ValueError, "period", lambda: circthresh.angles_to_levels([1.0], 5e-324)),
    (TypeError, "real", lambda: circthresh.angles_to_levels([1 + 1j], 360)),
    (TypeError, "real", lambda: circthresh.angles_to_levels([True], 360)),
    (TypeError, "real", lambda: circthresh.angles_to_levels([1.0], "360")),
    # The compiled part checks what it would otherwise read out of bounds.
    (ValueError, "mask", lambda: circthresh._core.histogram(STACK, b"x" * 100, 1)),
    (TypeError, "uint8", lambda: circthresh.hue(RGB.astype(np.uint16))),
    (ValueError, "3 or 4 channels", lambda: circthresh.hue(RGB[..., :2])),
    (ValueError, "3 or 4 channels", lambda: circthresh.hue(RGB[0, 0, 0, ...])),
    (ValueError, "0..100", lambda: circthresh.hue(RGB, min_saturation=101)),
    (TypeError, "int", lambda: circthresh.hue(RGB, min_saturation=25.0)),
]


@pytest.mark.parametrize("error, expected, call", BAD_CALLS)
def test_bad_arguments_say_what_was_expected(error, expected, call):
    with pytest.raises(error, match=expected):
        call()
