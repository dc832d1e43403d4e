// The Python module circthresh: the command's circular threshold on numpy arrays,
// from the same counting, search and binarisation code, so the answers are the
// command's to the last bit.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "array_passes.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

namespace py = pybind11;

namespace {

const char* MODULE_DOC = R"doc(Circular Otsu thresholding of 8-bit images, as the circthresh command does it.

The 256 grey levels are points on a circle, level 255 next to level 0. Every cut
of the circle into two half-circles of 128 consecutive levels is tried, and the
cut whose two classes of pixels have the least within-class variance wins. This
suits quantities that wrap around, such as hue or orientation, where an ordinary
Otsu threshold on the line 0..255 splits an object whose values straddle 0.

The results are those of the command, bit for bit: for an image the command can
read, ``"thresholding at %d\nsigma_W %f\n" % (t, sigma_w)`` is its report and
``binary`` the raster it writes.

Functions
---------
threshold(image, mask=None)
    Threshold of a 2-D uint8 array, its within-class variance and the binary image.
threshold_histogram(counts)
    Threshold and within-class variance of a histogram of 256 counts.
)doc";

const char* THRESHOLD_DOC = R"doc(Circular Otsu threshold of an image, and the image binarised by it.

Parameters
----------
image : numpy.ndarray of uint8, shape (rows, columns)
    Grey levels 0..255. Any strides: views such as ``image[::2, ::3]`` and
    transposes are read in place, without a copy.
mask : numpy.ndarray of bool, shape (rows, columns), optional
    Only the pixels where the mask is true make the histogram (and the number of
    pixels it is divided by), for instance the pixels whose hue means something.
    Every pixel is binarised all the same. None (the default) counts them all.

Returns
-------
t : int
    The threshold: levels t..t+127 form one class, the other 128 levels the
    other. -1 when no cut has two non-empty classes (one level, no pixels).
sigma_w : float
    The within-class variance of that cut, 9e20 when there is none.
binary : numpy.ndarray of uint8, shape (rows, columns)
    A new array: levels t..t+127, counted around the circle, become 0 and all
    others 255 (with t = -1: levels 255 and 0..126 become 0).

Raises
------
TypeError
    If image is not a numpy array of dtype uint8, or mask not one of dtype
    bool. Nothing is converted: a float hue in 0..1 or a 16-bit image would
    lose its values silently.
ValueError
    If image is not 2-D, or mask has another shape than image.

Notes
-----
The frequencies are the counts divided by the number of pixels, as doubles,
and the search is the command's own, so the results are the command's exactly.
The passes over the pixels release the global interpreter lock: threads can
threshold several images at once.

Examples
--------
>>> import numpy as np, circthresh
>>> hue = np.array([[250, 5, 128, 128]], dtype=np.uint8)
>>> t, sigma_w, binary = circthresh.threshold(hue)
>>> "thresholding at %d\nsigma_W %f\n" % (t, sigma_w)
'thresholding at 6\nsigma_W 15.125000\n'
>>> binary
array([[255, 255,   0,   0]], dtype=uint8)
)doc";

const char* THRESHOLD_HISTOGRAM_DOC = R"doc(Circular Otsu threshold of a histogram of grey-level counts.

Parameters
----------
counts : sequence of int or numpy.ndarray of integers, length 256
    How many pixels have each grey level 0..255. The frequencies are each count
    divided by their total, as doubles.

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
    If the counts are not integers.
ValueError
    If there are not exactly 256 counts, one is negative, or their total does
    not fit in 64 bits.

Examples
--------
>>> import circthresh
>>> counts = [0] * 256
>>> counts[250] = counts[5] = 1
>>> counts[128] = 2
>>> circthresh.threshold_histogram(counts)
(6, 15.125)
)doc";

std::string text_of(const py::handle& value) { return py::str(value).cast<std::string>(); }

std::string type_name_of(const py::handle& value) {
    return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

bool has_dtype(const py::array& array, char kind, py::ssize_t itemsize) {
    return array.dtype().kind() == kind && array.dtype().itemsize() == itemsize;
}

ByteArray describe(const py::array& array) {
    return {static_cast<const unsigned char*>(array.data()),
            {array.shape(0), array.shape(1)},
            {array.strides(0), array.strides(1)}};
}

py::array image_argument(const py::object& image) {
    if (!py::isinstance<py::array>(image))
        throw py::type_error("image: expected a numpy array of dtype uint8, got " +
                             type_name_of(image));
    py::array pixels = py::reinterpret_borrow<py::array>(image);
    if (!has_dtype(pixels, 'u', 1))
        throw py::type_error("image: expected dtype uint8, got " + text_of(pixels.dtype()) +
                             " (convert it to 0..255 yourself; nothing is converted here)");
    if (pixels.ndim() != 2)
        throw py::value_error("image: expected a 2-D array (rows, columns), got " +
                              std::to_string(pixels.ndim()) + " dimensions");
    return pixels;
}

py::array mask_argument(const py::object& mask, const py::array& pixels) {
    if (!py::isinstance<py::array>(mask))
        throw py::type_error("mask: expected None or a numpy array of dtype bool, got " +
                             type_name_of(mask));
    py::array selection = py::reinterpret_borrow<py::array>(mask);
    if (!has_dtype(selection, 'b', 1))
        throw py::type_error("mask: expected dtype bool, got " + text_of(selection.dtype()));
    if (selection.ndim() != 2 || selection.shape(0) != pixels.shape(0) ||
        selection.shape(1) != pixels.shape(1))
        throw py::value_error("mask: expected the image's shape " +
                              text_of(pixels.attr("shape")) + ", got " +
                              text_of(selection.attr("shape")));
    return selection;
}

// The command's own steps from counts on: each count divided by the number of
// pixels counted, as doubles, then the search. No pixel counted: every
// frequency is 0/0, a NaN, and no cut can win.
ThresholdResult threshold_of_counts(const uint64_t total[GREY_LEVELS], uint64_t counted) {
    double histogram[GREY_LEVELS];
    make_frequencies(histogram, total, static_cast<double>(counted));
    return find_threshold(histogram);
}

py::tuple threshold(const py::object& image, const py::object& mask) {
    const py::array pixels = image_argument(image);
    const bool masked = !mask.is_none();
    const ByteArray source = describe(pixels);
    const ByteArray selection = masked ? describe(mask_argument(mask, pixels)) : source;
    // The binary image is laid out the way the source is walked, so both passes
    // go through memory in order.
    const ptrdiff_t rows = source.shape[0];
    const ptrdiff_t columns = source.shape[1];
    const std::vector<py::ssize_t> strides =
        inner_axis(source) == 1 ? std::vector<py::ssize_t>{columns, 1}
                                : std::vector<py::ssize_t>{1, rows};
    py::array_t<uint8_t> binary({rows, columns}, strides);
    unsigned char* binary_data = binary.mutable_data();

    ThresholdResult result;
    {
        py::gil_scoped_release unlocked;
        LevelCounts counts = {};
        if (masked)
            count_selected_array_levels(counts, source, selection);
        else
            count_array_levels(counts, source);
        uint64_t total[GREY_LEVELS];
        result = threshold_of_counts(total, merge_level_counts(total, counts));
        threshold_array(binary_data, source, result.threshold);
    }
    return py::make_tuple(result.threshold, result.variance, binary);
}

py::tuple threshold_histogram(const py::object& counts) {
    const py::module_ numpy = py::module_::import("numpy");
    const py::array values = numpy.attr("asarray")(counts);
    if (values.ndim() != 1 || values.shape(0) != GREY_LEVELS)
        throw py::value_error("counts: expected 256 counts, one per grey level, got shape " +
                              text_of(values.attr("shape")));
    const char kind = values.dtype().kind();
    if (kind != 'i' && kind != 'u')
        throw py::type_error("counts: expected integers of at most 64 bits, got dtype " +
                             text_of(values.dtype()));
    // Every integer dtype fits in int64 but uint64; only signed ones can be negative.
    const bool is_unsigned = kind == 'u';
    const py::array wide = values.attr("astype")(is_unsigned ? "uint64" : "int64");
    uint64_t total[GREY_LEVELS];
    uint64_t counted = 0;
    for (int level = 0; level < GREY_LEVELS; ++level) {
        const char* item = static_cast<const char*>(wide.data()) + level * wide.strides(0);
        int64_t signed_count = 0;
        if (!is_unsigned) {
            signed_count = *reinterpret_cast<const int64_t*>(item);
            if (signed_count < 0)
                throw py::value_error("counts: expected non-negative counts, got " +
                                      std::to_string(signed_count) + " at level " +
                                      std::to_string(level));
        }
        total[level] = is_unsigned ? *reinterpret_cast<const uint64_t*>(item)
                                   : static_cast<uint64_t>(signed_count);
        if (total[level] > UINT64_MAX - counted)
            throw py::value_error("counts: their total does not fit in 64 bits");
        counted += total[level];
    }
    const ThresholdResult result = threshold_of_counts(total, counted);
    return py::make_tuple(result.threshold, result.variance);
}

}  // namespace

PYBIND11_MODULE(circthresh, module) {
    module.doc() = MODULE_DOC;
    module.attr("__version__") = CIRCTHRESH_VERSION;
    module.def("threshold", &threshold, py::arg("image"), py::arg("mask") = py::none(),
               THRESHOLD_DOC);
    module.def("threshold_histogram", &threshold_histogram, py::arg("counts"),
               THRESHOLD_HISTOGRAM_DOC);
}
