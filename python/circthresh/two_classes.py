"""The two-class API: the 256 level counts, the circular Otsu threshold of
them, and the binary image at a threshold, one step at a time or in one call."""
from __future__ import annotations

import numbers
from typing import Optional, Tuple

import numpy as np
import numpy.typing as npt

from . import _core, _lazy
from ._checks import (counts_sequence, image_argument, selection_of, thread_count, type_name,
                      warn_if_colour)

def histogram(image: npt.NDArray[np.uint8], mask: Optional[npt.NDArray[np.bool_]] = None, *,
              threads: Optional[int] = None) -> npt.NDArray[np.uint64]:
    """Counts of the 256 grey levels among the pixels of an image.

    Parameters
    ----------
    image : numpy.ndarray of uint8, any shape of at least 1 dimension
        Grey levels 0..255: an image, a stack of images, a chunk of a larger
        array. Any strides: views, transposes and broadcasts are read in place,
        without a copy. The mask of a ``numpy.ma.MaskedArray`` is honoured:
        its masked pixels are not counted.
    mask : numpy.ndarray of bool, optional
        Only the pixels where the mask is true are counted. Of the image's
        shape or one that broadcasts to it (a 2-D mask for a stack of images).
        With a masked array, a pixel counts only when both allow it. A masked
        entry of a ``numpy.ma`` mask counts as False.
    threads : int, optional
        How many threads count; None (the default) uses the cores this process
        may run on for images of 2**20 pixels (about a million) or more, one
        below that.
        The counts are the same for every number of threads.

    Returns
    -------
    numpy.ndarray of uint64, shape (256,)
        ``counts[k]`` is the number of pixels counted at level k. Summed over
        the chunks of an array, they are the counts of the whole array.

    Raises
    ------
    TypeError
        If image is not a numpy array of dtype uint8, mask not one of dtype
        bool, or threads not an int.
    ValueError
        If image is 0-D, mask does not broadcast to the image's shape, or
        threads is 0 or less.

    Examples
    --------
    >>> import numpy as np, circthresh
    >>> stack = np.array([[[0, 0], [255, 7]], [[7, 7], [0, 200]]], dtype=np.uint8)
    >>> counts = circthresh.histogram(stack)
    >>> counts[[0, 7, 200, 255]], counts.sum()
    (array([3, 3, 1, 1], dtype=uint64), 8)
    >>> hidden = np.ma.masked_equal(stack, 7)
    >>> circthresh.histogram(hidden)[[0, 7, 200, 255]]
    array([3, 0, 1, 1], dtype=uint64)
    """
    if _lazy.takes(image, mask):
        return _lazy.histogram(image, mask, threads)
    pixels, hidden = image_argument(image)
    selection = selection_of(pixels, mask, hidden)
    return _core.histogram(pixels, selection, thread_count(threads, pixels.size))


def threshold_histogram(counts: npt.ArrayLike) -> Tuple[int, float]:
    """Circular Otsu threshold of a histogram of grey-level counts.

    Parameters
    ----------
    counts : sequence of int or numpy.ndarray of integers, length 256
        How many pixels have each grey level 0..255, as ``histogram`` gives
        them. The frequencies are each count divided by their total, as doubles.

    Returns
    -------
    t : int
        The threshold: levels t..t+127 form one class, the other 128 levels the
        other. -1 when no cut has two non-empty classes, as for all-zero counts.
    sigma_w : float
        The within-class variance of that cut, 9e20 when there is none.

    Raises
    ------
    TypeError
        If the counts are not integers, or not a sequence (None, a number).
    ValueError
        If there are not exactly 256 counts, one is negative, their total does
        not fit in 64 bits, or some are masked: a ``numpy.ma.MaskedArray`` with
        masked entries is refused rather than guessed at (``counts.filled(0)``
        counts them as 0).

    Examples
    --------
    Levels 250 and 5 once, 128 twice: the cuts t = 6..122 keep 250 and 5
    together, at 250 and 261 on the unrolled circle, their spread
    2 * 0.25 * 5.5**2; 128 is alone:

    >>> import circthresh
    >>> counts = [0] * 256
    >>> counts[250] = counts[5] = 1
    >>> counts[128] = 2
    >>> circthresh.threshold_histogram(counts)
    (6, 15.125)
    """
    return _core.threshold_histogram(counts_sequence(counts))


def apply_threshold(image: npt.NDArray[np.uint8], t: int, *,
                    threads: Optional[int] = None) -> npt.NDArray[np.uint8]:
    """The image binarised at threshold t, as the command writes it.

    Parameters
    ----------
    image : numpy.ndarray of uint8, any shape of at least 1 dimension
        Grey levels 0..255, any strides, read in place. Every pixel is
        binarised, masked ones of a ``numpy.ma.MaskedArray`` too.
    t : int
        A threshold as ``threshold`` or ``threshold_histogram`` give it,
        -1..127.
    threads : int, optional
        As for ``histogram``; the result is the same for every number.

    Returns
    -------
    numpy.ndarray of uint8, the image's shape
        A new array: levels t..t+127, counted around the circle, become 0 and
        all others 255 (with t = -1: levels 255 and 0..126 become 0).

    Raises
    ------
    TypeError
        If image is not a numpy array of dtype uint8, or t not an int.
    ValueError
        If image is 0-D, t is outside -1..127, or threads is 0 or less.

    Examples
    --------
    >>> import numpy as np, circthresh
    >>> levels = np.array([0, 5, 6, 133, 134, 255], dtype=np.uint8)
    >>> circthresh.apply_threshold(levels, 6)
    array([255, 255,   0,   0, 255, 255], dtype=uint8)
    >>> circthresh.apply_threshold(levels, -1)
    array([  0,   0,   0, 255, 255,   0], dtype=uint8)
    """
    if _lazy.takes(image):
        return _lazy.apply_threshold(image, t, threads)
    pixels, _ = image_argument(image)
    if isinstance(t, (bool, np.bool_)) or not isinstance(t, numbers.Integral):
        raise TypeError("t: expected an int, got %s" % type_name(t))
    if not -1 <= t <= 127:
        raise ValueError("t: expected a threshold in -1..127, got %d" % t)
    return _core.apply_threshold(pixels, int(t), thread_count(threads, pixels.size))


def threshold(image: npt.NDArray[np.uint8], mask: Optional[npt.NDArray[np.bool_]] = None, *,
              threads: Optional[int] = None) -> Tuple[int, float, npt.NDArray[np.uint8]]:
    """Circular Otsu threshold of an image, and the image binarised by it.

    The same as ``threshold_histogram(histogram(image, mask))`` followed by
    ``apply_threshold(image, t)``, in one call.

    Parameters
    ----------
    image : numpy.ndarray of uint8, any shape of at least 1 dimension
        Grey levels 0..255: an image, or a stack thresholded as one (one
        histogram over all its pixels). Any strides, read in place. The mask of
        a ``numpy.ma.MaskedArray`` is honoured as ``mask`` is.
    mask : numpy.ndarray of bool, optional
        Only the pixels where the mask is true make the histogram (and the
        number of pixels it is divided by), for instance the pixels whose hue
        means something. Every pixel is binarised all the same. Of the image's
        shape or one that broadcasts to it.
    threads : int, optional
        As for ``histogram``; the results are the same for every number.

    Returns
    -------
    t : int
        The threshold: levels t..t+127 form one class, the other 128 levels the
        other. -1 when no cut has two non-empty classes (one level, no pixels).
    sigma_w : float
        The within-class variance of that cut, 9e20 when there is none.
    binary : numpy.ndarray of uint8, the image's shape
        A new array: levels t..t+127, counted around the circle, become 0 and all
        others 255.

    Warns
    -----
    UserWarning
        If image has shape (H, W, 3) or (H, W, 4), which looks like a colour
        photo whose channels one histogram would pool; ``hue`` gives its levels.

    Raises
    ------
    TypeError
        If image is not a numpy array of dtype uint8, or mask not one of dtype
        bool. Nothing is converted: a float hue in 0..1 or a 16-bit image would
        lose its values silently (``angles_to_levels`` converts angles).
    ValueError
        If image is 0-D, mask does not broadcast to its shape, or threads is 0
        or less.

    Notes
    -----
    The passes over the pixels release the global interpreter lock: threads
    can threshold several images at once.

    Examples
    --------
    >>> import numpy as np, circthresh
    >>> hue = np.array([[250, 5, 128, 128]], dtype=np.uint8)
    >>> t, sigma_w, binary = circthresh.threshold(hue)
    >>> "thresholding at %d\\nsigma_W %f\\n" % (t, sigma_w)
    'thresholding at 6\\nsigma_W 15.125000\\n'
    >>> binary
    array([[255, 255,   0,   0]], dtype=uint8)
    """
    warn_if_colour(image)
    if _lazy.takes(image, mask):
        return _lazy.threshold(image, mask, threads)
    pixels, hidden = image_argument(image)
    selection = selection_of(pixels, mask, hidden)
    pieces = thread_count(threads, pixels.size)
    t, sigma_w = _core.threshold_histogram(_core.histogram(pixels, selection, pieces))
    return t, sigma_w, _core.apply_threshold(pixels, t, pieces)
