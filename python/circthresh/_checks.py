"""Argument checks shared by the package's functions: each says what was
expected and what came, as TypeError (wrong kind) or ValueError (wrong value)."""
from __future__ import annotations

import numbers
import os
import warnings
from typing import Optional, Tuple

import numpy as np

# Below this many pixels a second thread gains little: threshold takes about
# 0.35 ms for 2**20 pixels on one core of the 2-core machine it was tuned on,
# and a thread takes tens of microseconds to start.
AUTO_THREADS_MIN_PIXELS = 1 << 20
MAX_THREADS = 1 << 12


def type_name(value: object) -> str:
    kind = type(value)
    return kind.__name__ if kind.__module__ == "builtins" else "%s.%s" % (kind.__module__,
                                                                            kind.__name__)


def image_argument(image: object) -> Tuple[np.ndarray, Optional[np.ndarray]]:
    """The pixels of image, and the mask of a masked array (True where hidden)."""
    if isinstance(image, np.generic):
        raise TypeError("image: expected a numpy array of dtype uint8, got a numpy scalar "
                        "(%s); an image has at least one dimension: numpy.atleast_1d makes one"
                        % type_name(image))
    if not isinstance(image, np.ndarray):
        raise TypeError("image: expected a numpy array of dtype uint8, got %s"
                        % type_name(image))
    hidden = None
    if isinstance(image, np.ma.MaskedArray):
        mask = np.ma.getmask(image)
        hidden = None if mask is np.ma.nomask else mask
        image = image.data
    if image.dtype != np.uint8:
        raise TypeError("image: expected dtype uint8, got %s (convert it to 0..255 yourself; "
                        "nothing is converted here)" % image.dtype)
    if image.ndim == 0:
        raise ValueError("image: expected an array of at least 1 dimension, got a 0-D array "
                         "(numpy.atleast_1d makes one)")
    return image, hidden


def selection_of(image: np.ndarray, mask: object, hidden: Optional[np.ndarray]
               ) -> Optional[np.ndarray]:
    """The bool array of the pixels to count, None for all of them."""
    if mask is not None:
        if not isinstance(mask, np.ndarray):
            raise TypeError("mask: expected None or a numpy array of dtype bool, got %s"
                            % type_name(mask))
        if mask.dtype != np.bool_:
            raise TypeError("mask: expected dtype bool, got %s" % mask.dtype)
        # A masked entry of the mask selects nothing, whatever it holds.
        mask = np.ma.filled(mask, False)
        try:
            # Broadcasting is a view: one 2-D mask serves a whole stack.
            mask = np.broadcast_to(mask, image.shape)
        except ValueError:
            raise ValueError("mask: expected the image's shape %s or one that broadcasts to it, "
                             "got %s" % (image.shape, mask.shape)) from None
    if hidden is None:
        return mask
    shown = np.logical_not(hidden)
    return shown if mask is None else np.logical_and(mask, shown, out=shown)


def thread_count(threads: object, pixels: int) -> int:
    if threads is None:
        if pixels < AUTO_THREADS_MIN_PIXELS:
            return 1
        return len(os.sched_getaffinity(0))
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError("threads: expected None or an int, got %s" % type_name(threads))
    if threads <= 0:
        raise ValueError("threads: expected None or 1 or more, got %d" % threads)
    # "Up to that many": a pass never gets more threads than pieces of work, and
    # the compiled side takes a C int.
    return min(int(threads), MAX_THREADS)


def real_number(value: object, name: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s: expected a real number, got %s" % (name, type_name(value)))
    try:
        number = float(value)
    except OverflowError:
        raise ValueError("%s: expected a finite number, got an int too large for a double"
                         % name) from None
    if not np.isfinite(number):
        raise ValueError("%s: expected a finite number, got %r" % (name, number))
    return number


def counts_sequence(counts: object) -> object:
    """counts, refused when it is no sequence at all or has masked entries."""
    if counts is None or isinstance(counts, (numbers.Number, str, bytes)):
        raise TypeError("counts: expected 256 integer counts, one per grey level (a sequence or "
                        "a numpy array, as histogram gives them), got %s"
                        % ("None" if counts is None else type_name(counts)))
    if np.ma.is_masked(counts):
        raise ValueError("counts: some are masked; fill them first (counts.filled(0) counts "
                         "them as 0)")
    if isinstance(counts, (list, tuple)) and counts and all(
            isinstance(c, numbers.Integral) and not isinstance(c, (bool, np.bool_)) and
            0 <= c < 2**64 for c in counts):
        # numpy would make counts above 2**63 - 1 float64 and refuse them: they are uint64
        return np.array([int(c) for c in counts], dtype=np.uint64)
    return counts


def warn_if_colour(image: object) -> None:
    """A UserWarning for an (H, W, 3) or (H, W, 4) array, whose channels one histogram pools."""
    shape = getattr(image, "shape", ())
    if len(shape) == 3 and shape[-1] in (3, 4):
        warnings.warn("threshold: an array of shape %s looks like a colour photo, and its "
                      "channels make one histogram; circthresh.hue(rgb) gives its hue levels "
                      "to threshold (a (channels, height, width) stack does not warn)"
                      % (tuple(shape),), UserWarning, stacklevel=3)


def classes_argument(classes: object) -> int:
    if isinstance(classes, (bool, np.bool_)) or not isinstance(classes, numbers.Integral):
        raise TypeError("classes: expected an int, got %s" % type_name(classes))
    if not 2 <= classes <= 16:
        raise ValueError("classes: expected 2..16, got %d" % classes)
    return int(classes)


def counts_argument(counts: object) -> np.ndarray:
    values = np.asarray(counts_sequence(counts))
    if values.shape != (256,):
        raise ValueError("counts: expected 256 counts, one per grey level, got shape %s"
                         % (values.shape,))
    if values.dtype.kind not in "iu":
        raise TypeError("counts: expected integers of at most 64 bits, got dtype %s"
                        % values.dtype)
    if values.dtype.kind == "i" and (values < 0).any():
        level = int(np.argmax(values < 0))
        raise ValueError("counts: expected non-negative counts, got %d at level %d"
                         % (values[level], level))
    return np.ascontiguousarray(values, dtype=np.uint64)
