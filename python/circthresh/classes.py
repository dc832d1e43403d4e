"""The k-class API: the circle of levels cut into 2..16 arcs of least
within-class variance, from counts or an image, and the labels under cuts."""
from __future__ import annotations

import numbers
from typing import Optional, Tuple

import numpy as np
import numpy.typing as npt

from . import _core, _lazy
from ._checks import (classes_argument, counts_argument, image_argument, selection_of,
                      thread_count, type_name)

def threshold_classes_histogram(counts: npt.ArrayLike, classes: int
                                ) -> Tuple[Optional[Tuple[int, ...]], float]:
    """k classes around the circle from a histogram: the cuts of least variance.

    The circle of levels is cut into ``classes`` arcs of any length; the cuts
    whose classes have the least within-class variance win, the
    lexicographically smallest among equal values. The classes, the search and
    its arithmetic are those of the C library's
    ``circthresh_threshold_classes_counts``, defined in its header
    (include/circthresh.h): the same cuts and the same bits.

    Parameters
    ----------
    counts : sequence of int or numpy.ndarray of integers, length 256
        How many pixels have each grey level, as ``histogram`` gives them.
    classes : int
        k, 2..16. With 2 the variance is the command's minimum (in exact
        arithmetic; its last bits may differ), the cuts the smallest of the
        best split.

    Returns
    -------
    cuts : tuple of int, or None
        k increasing levels; None when fewer than k levels hold pixels.
    sigma_w : float
        The least within-class variance, 9e20 when cuts is None.

    Raises
    ------
    TypeError
        If the counts are not integers or classes is not an int.
    ValueError
        If there are not exactly 256 counts, one is negative, their total does
        not fit in 64 bits, or classes is outside 2..16.

    Examples
    --------
    Four levels a quarter turn apart, once each: in three classes two
    neighbours share one, spread 2 * 0.25 * 32**2:

    >>> import circthresh
    >>> counts = [0] * 256
    >>> counts[0] = counts[64] = counts[128] = counts[192] = 1
    >>> circthresh.threshold_classes_histogram(counts, 3)
    ((0, 1, 65), 512.0)
    """
    classes = classes_argument(classes)
    return _core.threshold_classes_counts(counts_argument(counts), classes)


def apply_classes(image: npt.NDArray[np.uint8], cuts: Tuple[int, ...], *,
                  threads: Optional[int] = None) -> npt.NDArray[np.uint8]:
    """The class index of every pixel under cuts.

    Parameters
    ----------
    image : numpy.ndarray of uint8, any shape of at least 1 dimension
        Grey levels 0..255, any strides, read in place; masked pixels of a
        ``numpy.ma.MaskedArray`` are labelled too.
    cuts : sequence of int
        2..16 strictly increasing levels in 0..255, as
        ``threshold_classes_histogram`` gives them.
    threads : int, optional
        As for ``histogram``; the result is the same for every number.

    Returns
    -------
    numpy.ndarray of uint8, the image's shape
        Label i for levels ``cuts[i] .. cuts[i+1]-1``, the last label for the
        levels from the last cut round to the first.

    Raises
    ------
    TypeError
        If image is not a numpy array of dtype uint8 or a cut not an int.
    ValueError
        If image is 0-D, there are fewer than 2 or more than 16 cuts, they are
        not strictly increasing levels in 0..255, or threads is 0 or less.

    Examples
    --------
    >>> import numpy as np, circthresh
    >>> circthresh.apply_classes(np.array([0, 1, 64, 65, 200, 255], dtype=np.uint8), (0, 1, 65))
    array([0, 1, 1, 2, 2, 2], dtype=uint8)
    """
    if _lazy.takes(image):
        return _lazy.apply_classes(image, cuts, threads)
    pixels, _ = image_argument(image)
    try:
        levels = list(cuts)
    except TypeError:
        raise TypeError("cuts: expected a sequence of int, got %s" % type_name(cuts)) from None
    for cut in levels:
        if isinstance(cut, (bool, np.bool_)) or not isinstance(cut, numbers.Integral):
            raise TypeError("cuts: expected ints, got %s" % type_name(cut))
    if not 2 <= len(levels) <= 16:
        raise ValueError("cuts: expected 2..16 cuts, got %d" % len(levels))
    if any(not 0 <= c <= 255 for c in levels) or any(a >= b for a, b in zip(levels, levels[1:])):
        raise ValueError("cuts: expected strictly increasing levels in 0..255, got %s"
                         % (tuple(int(c) for c in levels),))
    return _core.apply_classes(pixels, [int(c) for c in levels],
                               thread_count(threads, pixels.size))


def threshold_classes(image: npt.NDArray[np.uint8], classes: int,
                      mask: Optional[npt.NDArray[np.bool_]] = None, *,
                      threads: Optional[int] = None
                      ) -> Tuple[Optional[Tuple[int, ...]], float, npt.NDArray[np.uint8]]:
    """k classes around the circle: the cuts of an image and its class labels.

    The same as ``threshold_classes_histogram(histogram(image, mask), classes)``
    followed by ``apply_classes(image, cuts)``, in one call.

    Parameters
    ----------
    image : numpy.ndarray of uint8, any shape of at least 1 dimension
        Grey levels 0..255, any strides, read in place. The mask of a
        ``numpy.ma.MaskedArray`` is honoured as ``mask`` is.
    classes : int
        k, 2..16.
    mask : numpy.ndarray of bool, optional
        Only the pixels where the mask is true make the histogram; every pixel
        is labelled all the same. Of the image's shape or one that broadcasts
        to it.
    threads : int, optional
        As for ``histogram``; the results are the same for every number.

    Returns
    -------
    cuts : tuple of int, or None
        k increasing levels; None when fewer than k levels hold pixels.
    sigma_w : float
        The least within-class variance, 9e20 when cuts is None.
    labels : numpy.ndarray of uint8, the image's shape
        The class index of every pixel, 0..k-1; all 0 when cuts is None.

    Raises
    ------
    TypeError
        If image is not a numpy array of dtype uint8, mask not one of dtype
        bool, or classes or threads not an int.
    ValueError
        If image is 0-D, mask does not broadcast to its shape, classes is
        outside 2..16, or threads is 0 or less.

    Notes
    -----
    The counting, the search and the labelling release the global
    interpreter lock.

    Examples
    --------
    Hues of leaves, soil and a red fruit:

    >>> import numpy as np, circthresh
    >>> hue = np.array([[60, 62, 20, 22], [250, 2, 61, 21]], dtype=np.uint8)
    >>> cuts, sigma_w, labels = circthresh.threshold_classes(hue, 3)
    >>> cuts
    (3, 23, 63)
    >>> labels
    array([[1, 1, 0, 0],
           [2, 2, 1, 0]], dtype=uint8)
    """
    if _lazy.takes(image, mask):
        return _lazy.threshold_classes(image, classes, mask, threads)
    classes = classes_argument(classes)
    pixels, hidden = image_argument(image)
    selection = selection_of(pixels, mask, hidden)
    pieces = thread_count(threads, pixels.size)
    cuts, sigma_w = _core.threshold_classes_counts(_core.histogram(pixels, selection, pieces),
                                                   classes)
    if cuts is None:
        return None, sigma_w, np.zeros(pixels.shape, dtype=np.uint8)
    return cuts, sigma_w, _core.apply_classes(pixels, list(cuts), pieces)
