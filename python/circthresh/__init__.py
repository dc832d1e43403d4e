"""Circular Otsu thresholding of 8-bit images, as the circthresh command does it.

The 256 grey levels are points on a circle, level 255 next to level 0. Every cut
of the circle into two half-circles of 128 consecutive levels is tried, and the
cut whose two classes of pixels have the least within-class variance wins. This
suits quantities that wrap around, such as hue or orientation, where an ordinary
Otsu threshold on the line 0..255 splits an object whose values straddle 0.

The results are those of the command, bit for bit: for an image the command can
read, ``"thresholding at %d\\nsigma_W %f\\n" % (t, sigma_w)`` is its report and
``binary`` the raster it writes.

The steps can be taken one at a time, which is how arrays bigger than memory,
chunked by dask, are thresholded globally: ``histogram`` of each chunk, the
counts summed, ``threshold_histogram`` of the sum, ``apply_threshold`` on each
chunk. Every function is a plain function of this package, so it pickles by
reference and runs in other processes (multiprocessing, dask.distributed).

Functions
---------
threshold(image, mask=None, *, threads=None)
    Threshold of a uint8 array, its within-class variance and the binary image.
histogram(image, mask=None, *, threads=None)
    The 256 level counts of a uint8 array.
threshold_histogram(counts)
    Threshold and within-class variance of a histogram of 256 counts.
apply_threshold(image, t, *, threads=None)
    The binary image of a uint8 array at threshold t.
angles_to_levels(angles, period, offset=0.0)
    Angles of any period as the 256 levels.
threshold_classes(image, classes, mask=None, *, threads=None)
    k classes around the circle: cuts, within-class variance and class labels.
threshold_classes_histogram(counts, classes)
    The k-class cuts and within-class variance of a histogram.
apply_classes(image, cuts, *, threads=None)
    The class label of every pixel under given cuts.
hue(rgb, *, min_saturation=None, threads=None)
    The hue of a photo as the 256 levels, grey pixels masked if asked.
"""
from __future__ import annotations

import numbers
import os
from typing import Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _core

__version__: str = _core.__version__
__all__ = ["threshold", "histogram", "threshold_histogram", "apply_threshold",
           "angles_to_levels", "threshold_classes", "threshold_classes_histogram",
           "apply_classes", "hue"]

# Below this many pixels a second thread gains little: threshold takes about
# 0.35 ms for 2**20 pixels on one core of the 2-core machine it was tuned on,
# and a thread takes tens of microseconds to start.
AUTO_THREADS_MIN_PIXELS = 1 << 20
MAX_THREADS = 1 << 12


def _type_name(value: object) -> str:
    kind = type(value)
    return kind.__name__ if kind.__module__ == "builtins" else "%s.%s" % (kind.__module__,
                                                                            kind.__name__)


def _image_argument(image: object) -> Tuple[np.ndarray, Optional[np.ndarray]]:
    """The pixels of image, and the mask of a masked array (True where hidden)."""
    if isinstance(image, np.generic):
        raise TypeError("image: expected a numpy array of dtype uint8, got a numpy scalar "
                        "(%s); an image has at least one dimension: numpy.atleast_1d makes one"
                        % _type_name(image))
    if not isinstance(image, np.ndarray):
        raise TypeError("image: expected a numpy array of dtype uint8, got %s"
                        % _type_name(image))
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


def _selection(image: np.ndarray, mask: object, hidden: Optional[np.ndarray]
               ) -> Optional[np.ndarray]:
    """The bool array of the pixels to count, None for all of them."""
    if mask is not None:
        if not isinstance(mask, np.ndarray):
            raise TypeError("mask: expected None or a numpy array of dtype bool, got %s"
                            % _type_name(mask))
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


def _thread_count(threads: object, pixels: int) -> int:
    if threads is None:
        if pixels < AUTO_THREADS_MIN_PIXELS:
            return 1
        return len(os.sched_getaffinity(0))
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError("threads: expected None or an int, got %s" % _type_name(threads))
    if threads <= 0:
        raise ValueError("threads: expected None or 1 or more, got %d" % threads)
    # "Up to that many": a pass never gets more threads than pieces of work, and
    # the compiled side takes a C int.
    return min(int(threads), MAX_THREADS)


def _real_number(value: object, name: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s: expected a real number, got %s" % (name, _type_name(value)))
    try:
        number = float(value)
    except OverflowError:
        raise ValueError("%s: expected a finite number, got an int too large for a double"
                         % name) from None
    if not np.isfinite(number):
        raise ValueError("%s: expected a finite number, got %r" % (name, number))
    return number


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
    pixels, hidden = _image_argument(image)
    selection = _selection(pixels, mask, hidden)
    return _core.histogram(pixels, selection, _thread_count(threads, pixels.size))


def _counts_not_odd(counts: object) -> object:
    """counts, unless it is no sequence at all or has masked entries."""
    if counts is None or isinstance(counts, (numbers.Number, str, bytes)):
        raise TypeError("counts: expected 256 integer counts, one per grey level (a sequence or "
                        "a numpy array, as histogram gives them), got %s"
                        % ("None" if counts is None else _type_name(counts)))
    if np.ma.is_masked(counts):
        raise ValueError("counts: some are masked; fill them first (counts.filled(0) counts "
                         "them as 0)")
    return counts


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
    return _core.threshold_histogram(_counts_not_odd(counts))


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
    pixels, _ = _image_argument(image)
    if isinstance(t, (bool, np.bool_)) or not isinstance(t, numbers.Integral):
        raise TypeError("t: expected an int, got %s" % _type_name(t))
    if not -1 <= t <= 127:
        raise ValueError("t: expected a threshold in -1..127, got %d" % t)
    return _core.apply_threshold(pixels, int(t), _thread_count(threads, pixels.size))


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
    pixels, hidden = _image_argument(image)
    selection = _selection(pixels, mask, hidden)
    pieces = _thread_count(threads, pixels.size)
    t, sigma_w = _core.threshold_histogram(_core.histogram(pixels, selection, pieces))
    return t, sigma_w, _core.apply_threshold(pixels, t, pieces)


def angles_to_levels(angles: npt.ArrayLike, period: float, offset: float = 0.0
                     ) -> Union[npt.NDArray[np.uint8], np.ma.MaskedArray]:
    """Angles as grey levels: one period spread over the 256 levels.

    Each angle becomes ``rint((angle - offset) * (256 / period)) mod 256``,
    computed in double precision (float32 angles are widened first, exactly),
    rounding halves to even: the angle recipe of the project's docs/recipes.md,
    so that a period lands on 256, which is 0 again.

    Parameters
    ----------
    angles : array_like of real numbers, any shape
        Orientation (period 180 or pi), direction or phase (360 or 2 pi), hue,
        time of day... Arrays of float32 and float64 are read in place, any
        strides; other real dtypes are converted to float64 first. The masked
        entries of a ``numpy.ma.MaskedArray`` stay masked, whatever they hold.
    period : float
        The span of one turn, greater than 0.
    offset : float, optional
        The angle that becomes level 0; 0 by default.

    Returns
    -------
    numpy.ndarray of uint8, the shape of angles
        A masked array, with the same mask, when angles is one; ready for
        ``threshold`` and ``histogram``.

    Raises
    ------
    TypeError
        If angles are not real numbers (bool and complex are not), or period or
        offset is not a real number.
    ValueError
        If an angle is NaN or infinite, period is not greater than 0 or so
        small that 256 / period overflows, or period or offset is not finite
        (an int too large for a double included).

    Examples
    --------
    Quarter turns of 360 degrees are 64 levels apart:

    >>> import numpy as np, circthresh
    >>> circthresh.angles_to_levels(np.array([0.0, 90.0, 180.0, 270.0, 360.0, -90.0]), 360)
    array([  0,  64, 128, 192,   0, 192], dtype=uint8)
    >>> circthresh.angles_to_levels([np.pi / 4, np.pi], np.pi, offset=np.pi / 2)
    array([192, 128], dtype=uint8)
    """
    period = _real_number(period, "period")
    offset = _real_number(offset, "offset")
    if period <= 0:
        raise ValueError("period: expected a number greater than 0, got %r" % period)
    if not np.isfinite(256.0 / period):
        raise ValueError("period: %r is too small: 256 / period overflows a double" % period)
    hidden = None
    if isinstance(angles, np.ma.MaskedArray):
        hidden = np.ma.getmask(angles)
        # A masked entry may hold anything, a NaN included: it becomes level 0.
        values = angles.filled(0) if hidden is not np.ma.nomask else angles.data
    else:
        values = np.asarray(angles)
    if values.dtype.kind not in "fiu":
        raise TypeError("angles: expected real numbers, got dtype %s" % values.dtype)
    if values.dtype not in (np.float32, np.float64):
        values = values.astype(np.float64)
    levels = _core.angles_to_levels(values, period, offset)
    return levels if hidden is None else np.ma.MaskedArray(levels, mask=hidden)


def _classes_argument(classes: object) -> int:
    if isinstance(classes, (bool, np.bool_)) or not isinstance(classes, numbers.Integral):
        raise TypeError("classes: expected an int, got %s" % _type_name(classes))
    if not 2 <= classes <= 16:
        raise ValueError("classes: expected 2..16, got %d" % classes)
    return int(classes)


def _counts_argument(counts: object) -> np.ndarray:
    values = np.asarray(_counts_not_odd(counts))
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


def threshold_classes_histogram(counts: npt.ArrayLike, classes: int
                                ) -> Tuple[Optional[Tuple[int, ...]], float]:
    """k classes around the circle from a histogram: the cuts of least variance.

    The circle of levels is cut into ``classes`` arcs of any length. Cuts
    ``c0 < c1 < ... < c(k-1)`` make class i of levels ``ci .. c(i+1)-1`` and the
    last class of levels ``c(k-1) .. 255`` and ``0 .. c0-1``. The cuts whose
    classes have the least within-class variance win; among equal values,
    the lexicographically smallest. The search is exact over every partition
    and its arithmetic is that of the C library's
    ``circthresh_threshold_classes_counts``: the same cuts and the same bits.

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
    classes = _classes_argument(classes)
    return _core.threshold_classes_counts(_counts_argument(counts), classes)


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
    pixels, _ = _image_argument(image)
    try:
        levels = list(cuts)
    except TypeError:
        raise TypeError("cuts: expected a sequence of int, got %s" % _type_name(cuts)) from None
    for cut in levels:
        if isinstance(cut, (bool, np.bool_)) or not isinstance(cut, numbers.Integral):
            raise TypeError("cuts: expected ints, got %s" % _type_name(cut))
    if not 2 <= len(levels) <= 16:
        raise ValueError("cuts: expected 2..16 cuts, got %d" % len(levels))
    if any(not 0 <= c <= 255 for c in levels) or any(a >= b for a, b in zip(levels, levels[1:])):
        raise ValueError("cuts: expected strictly increasing levels in 0..255, got %s"
                         % (tuple(int(c) for c in levels),))
    return _core.apply_classes(pixels, [int(c) for c in levels],
                               _thread_count(threads, pixels.size))


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
    classes = _classes_argument(classes)
    pixels, hidden = _image_argument(image)
    selection = _selection(pixels, mask, hidden)
    pieces = _thread_count(threads, pixels.size)
    cuts, sigma_w = _core.threshold_classes_counts(_core.histogram(pixels, selection, pieces),
                                                   classes)
    if cuts is None:
        return None, sigma_w, np.zeros(pixels.shape, dtype=np.uint8)
    return cuts, sigma_w, _core.apply_classes(pixels, list(cuts), pieces)


def hue(rgb: npt.NDArray[np.uint8], *, min_saturation: Optional[int] = None,
        threads: Optional[int] = None) -> Union[npt.NDArray[np.uint8], np.ma.MaskedArray]:
    """The hue of every pixel of a photo as a level of the 256-level circle.

    HSV hue, one turn onto 256 levels, computed from integers and rounded
    once: with chroma the largest channel minus the smallest, the hue in
    sixths of a turn is (g - b) / chroma where red is largest, 2 + (b - r) /
    chroma where green is, 4 + (r - g) / chroma where blue is (red before green
    before blue on a tie), taken mod 6; the level is round(256 * sixths / 6),
    halves up, and 256 is 0 again. Grey pixels (chroma 0) get level 0. The C
    library's ``circthresh_hue`` and the page give the same levels.

    Parameters
    ----------
    rgb : numpy.ndarray of uint8, shape (..., 3) or (..., 4)
        Red, green and blue (and alpha, not read) on the last axis; any
        number of axes before it, any strides, read in place: an OpenCV image,
        blue first, is ``img[..., ::-1]``. A pixel of which any channel is
        masked in a ``numpy.ma.MaskedArray`` is masked in the result.
    min_saturation : int, optional
        A saturation floor in percent, 0..100. The result is then a
        ``numpy.ma.MaskedArray``, masked where the HSV saturation, chroma over
        the largest channel (0 for black), is below the floor: exactly where
        ``100 * chroma < min_saturation * largest``. ``threshold`` of it leaves
        those pixels out of the histogram, as the page does with its floor.
    threads : int, optional
        As for ``histogram``; the result is the same for every number.

    Returns
    -------
    numpy.ndarray of uint8, shape ``rgb.shape[:-1]``
        A new array of hue levels: red 0, yellow 43, green 85, cyan 128, blue
        171, magenta 213. A ``numpy.ma.MaskedArray`` with a floor or a masked
        ``rgb``.

    Raises
    ------
    TypeError
        If rgb is not a numpy array of dtype uint8, or min_saturation or
        threads is not an int.
    ValueError
        If the last axis of rgb does not hold 3 or 4 channels, min_saturation
        is outside 0..100, or threads is 0 or less.

    Examples
    --------
    Red, green, blue, a pale red of saturation 1/4 and grey:

    >>> import numpy as np, circthresh
    >>> rgb = np.array([[[255, 0, 0], [0, 255, 0], [0, 0, 255], [200, 150, 150],
    ...                  [90, 90, 90]]], dtype=np.uint8)
    >>> circthresh.hue(rgb)
    array([[  0,  85, 171,   0,   0]], dtype=uint8)
    >>> circthresh.hue(rgb, min_saturation=25).mask
    array([[False, False, False, False,  True]])
    >>> circthresh.hue(rgb[..., ::-1])  # read as BGR: blue and red swap
    array([[171,  85,   0, 171,   0]], dtype=uint8)
    """
    if not isinstance(rgb, np.ndarray):
        raise TypeError("rgb: expected a numpy array of dtype uint8, got %s" % _type_name(rgb))
    hidden = None
    if isinstance(rgb, np.ma.MaskedArray):
        mask = np.ma.getmask(rgb)
        rgb = rgb.data
        if mask is not np.ma.nomask and rgb.ndim > 0:
            hidden = mask.any(axis=-1)
    if rgb.dtype != np.uint8:
        raise TypeError("rgb: expected dtype uint8, got %s (nothing is converted here)"
                        % rgb.dtype)
    if rgb.ndim == 0 or rgb.shape[-1] not in (3, 4):
        raise ValueError("rgb: expected 3 or 4 channels on the last axis, got shape %s"
                         % (rgb.shape,))
    percent = -1
    if min_saturation is not None:
        if isinstance(min_saturation, (bool, np.bool_)) or \
                not isinstance(min_saturation, numbers.Integral):
            raise TypeError("min_saturation: expected None or an int percent, got %s"
                            % _type_name(min_saturation))
        if not 0 <= min_saturation <= 100:
            raise ValueError("min_saturation: expected a percent in 0..100, got %d"
                             % min_saturation)
        percent = int(min_saturation)
    levels, counted = _core.hue(rgb, percent,
                                _thread_count(threads, rgb.size // rgb.shape[-1]))
    if counted is not None:
        # 0/1 bytes are bools: turned into the mask in place, no copy.
        below = counted.view(np.bool_)
        np.logical_not(below, out=below)
        hidden = below if hidden is None else np.logical_or(hidden, below, out=below)
    return levels if hidden is None else np.ma.MaskedArray(levels, mask=hidden)
