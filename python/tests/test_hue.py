# circthresh.hue against the definition written plainly in numpy, on every
# 8-bit colour in the layouts a photo comes in, and its bad arguments.
import numpy as np
import pytest

import circthresh

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


def masked_rgb():
    hidden = np.zeros(RGB.shape, bool)
    hidden[::3, :, 1] = True
    return np.ma.MaskedArray(RGB, mask=hidden)


LAYOUTS = {  # name: (photo, floor, threads)
    "rgb": (lambda: RGB, 25, 1),
    "rgba": (lambda: np.dstack([RGB, COLOUR.astype(np.uint8)]), 0, 2),
    "bgr_reversed": (lambda: np.ascontiguousarray(RGB[..., ::-1])[..., ::-1], 100, None),
    "strided_transposed": (lambda: np.repeat(RGB, 2, axis=1)[:, ::2].transpose(1, 0, 2), 25, 2),
    "no_floor": (lambda: RGB[::-1], None, None),
    "masked": (masked_rgb, 25, 2),
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
