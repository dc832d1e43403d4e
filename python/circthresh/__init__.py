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

from . import _core
from .classes import apply_classes, threshold_classes, threshold_classes_histogram
from .levels import angles_to_levels, hue
from .two_classes import apply_threshold, histogram, threshold, threshold_histogram

__all__ = ["threshold", "histogram", "threshold_histogram", "apply_threshold",
           "angles_to_levels", "threshold_classes", "threshold_classes_histogram",
           "apply_classes", "hue"]
__version__: str = _core.__version__

# The public functions are the package's, whichever file defines them: help(),
# pickling by reference and doctest name them circthresh.NAME.
for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
