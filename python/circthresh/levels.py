"""Levels from other quantities: angles of any period, and the hue of a photo."""
from __future__ import annotations

import numbers
from typing import Optional, Union

import numpy as np
import numpy.typing as npt

from . import _core, _lazy
from ._checks import real_number, thread_count, type_name

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
    if _lazy.takes(angles):
        return _lazy.angles_to_levels(angles, period, offset)
    period = real_number(period, "period")
    offset = real_number(offset, "offset")
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


def hue(rgb: npt.NDArray[np.uint8], *, min_saturation: Optional[int] = None,
        threads: Optional[int] = None) -> Union[npt.NDArray[np.uint8], np.ma.MaskedArray]:
    """The hue of every pixel of a photo as a level of the 256-level circle.

    HSV hue, one turn onto 256 levels, computed from integers and rounded
    once, as the C library's ``circthresh_hue`` defines it in its header
    (include/circthresh.h), to the bit; the page gives the same levels.
    Grey pixels (chroma 0) get level 0.

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
    if _lazy.takes(rgb):
        return _lazy.hue(rgb, min_saturation, threads)
    if not isinstance(rgb, np.ndarray):
        raise TypeError("rgb: expected a numpy array of dtype uint8, got %s" % type_name(rgb))
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
                            % type_name(min_saturation))
        if not 0 <= min_saturation <= 100:
            raise ValueError("min_saturation: expected a percent in 0..100, got %d"
                             % min_saturation)
        percent = int(min_saturation)
    levels, counted = _core.hue(rgb, percent,
                                thread_count(threads, rgb.size // rgb.shape[-1]))
    if counted is not None:
        # 0/1 bytes are bools: turned into the mask in place, no copy.
        below = counted.view(np.bool_)
        np.logical_not(below, out=below)
        hidden = below if hidden is None else np.logical_or(hidden, below, out=below)
    return levels if hidden is None else np.ma.MaskedArray(levels, mask=hidden)
