// circthresh._core: the compiled passes under the circthresh package, which
// checks the arguments and documents them (circthresh/*.py). These take
// arrays already checked there, and check again only what would make them read
// or write out of bounds.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "array_passes.h"
#include "array_walk.h"
#include "hue_pass.h"
#include "signal_watch.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

namespace py = pybind11;

void register_classes(py::module_& module);  // classes_pass.cpp

namespace {

std::string text_of(const py::handle& value) { return py::str(value).cast<std::string>(); }

bool has_dtype(const py::array& array, char kind, py::ssize_t itemsize) {
    return array.dtype().kind() == kind && array.dtype().itemsize() == itemsize &&
           array.dtype().attr("isnative").cast<bool>();
}

std::vector<ptrdiff_t> shape_of(const py::array& array) {
    return std::vector<ptrdiff_t>(array.shape(), array.shape() + array.ndim());
}

std::vector<ptrdiff_t> strides_of(const py::array& array) {
    return std::vector<ptrdiff_t>(array.strides(), array.strides() + array.ndim());
}

void require(bool holds, const std::string& message) {
    if (!holds) throw py::value_error(message);
}

// A new uint8 array of the source's shape, laid out in the order a walk takes
// the source, so that both are read and written in memory order.
py::array_t<uint8_t> array_walked_like(const py::array& source) {
    return py::array_t<uint8_t>(shape_of(source),
                                strides_walked_like(shape_of(source), strides_of(source)));
}

int thread_count(int threads) {
    require(threads >= 1, "threads: expected 1 or more");
    return threads;
}

py::array_t<uint64_t> histogram(const py::array& image, const py::object& selection, int threads) {
    require(has_dtype(image, 'u', 1), "image: expected dtype uint8");
    std::vector<std::vector<ptrdiff_t>> strides = {strides_of(image)};
    const unsigned char* selected = nullptr;
    if (!selection.is_none()) {
        // Checked before it is read as an array: anything else would be read as one.
        require(py::isinstance<py::array>(selection),
                "mask: expected a bool array of the image's shape");
        const py::array mask = py::reinterpret_borrow<py::array>(selection);
        require(has_dtype(mask, 'b', 1) && shape_of(mask) == shape_of(image),
                "mask: expected a bool array of the image's shape");
        strides.push_back(strides_of(mask));
        selected = static_cast<const unsigned char*>(mask.data());
    }
    const Walk walk = plan_walk(shape_of(image), strides);
    const unsigned char* pixels = static_cast<const unsigned char*>(image.data());
    const int pieces = thread_count(threads);
    py::array_t<uint64_t> counts(GREY_LEVELS);
    uint64_t* total = counts.mutable_data();
    run_unlocked([&](const std::function<bool()>& stop) {
        count_walk_levels(total, walk, pixels, selected, pieces, stop);
    });
    return counts;
}

py::array_t<uint8_t> apply_threshold(const py::array& image, int threshold, int threads) {
    require(has_dtype(image, 'u', 1), "image: expected dtype uint8");
    require(threshold >= -1 && threshold <= 127, "t: expected -1..127");
    py::array_t<uint8_t> binary = array_walked_like(image);
    const Walk walk = plan_walk(shape_of(image), {strides_of(image), strides_of(binary)});
    const unsigned char* pixels = static_cast<const unsigned char*>(image.data());
    unsigned char* binary_data = binary.mutable_data();
    const int pieces = thread_count(threads);
    run_unlocked([&](const std::function<bool()>& stop) {
        threshold_walk(binary_data, pixels, walk, threshold, pieces, stop);
    });
    return binary;
}

py::array_t<uint8_t> angles_to_levels(const py::array& angles, double period, double offset) {
    const bool single = has_dtype(angles, 'f', 4);
    require(single || has_dtype(angles, 'f', 8), "angles: expected dtype float32 or float64");
    py::array_t<uint8_t> levels = array_walked_like(angles);
    const Walk walk = plan_walk(shape_of(angles), {strides_of(angles), strides_of(levels)});
    const char* source = static_cast<const char*>(angles.data());
    unsigned char* levels_data = levels.mutable_data();
    bool finite = true;
    run_unlocked([&](const std::function<bool()>& stop) {
        finite = single
                     ? angles_walk_to_levels<float>(levels_data, source, walk, period, offset, stop)
                     : angles_walk_to_levels<double>(levels_data, source, walk, period, offset,
                                                     stop);
    });
    require(finite,
            "angles: expected finite values; got a NaN or an infinity (or a value "
            "whose level overflows a double)");
    return levels;
}

// The command's own steps from counts on: each count divided by the number of
// pixels counted, as doubles, then the search. No pixel counted: every
// frequency is 0/0, a NaN, and no cut can win.
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
    }
    ThresholdResult result;
    require(threshold_of_counts(total, &result), "counts: their total does not fit in 64 bits");
    return py::make_tuple(result.threshold, result.variance);
}

}  // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The compiled passes of circthresh; use the circthresh package.";
    module.attr("__version__") = CIRCTHRESH_VERSION;
    module.def("histogram", &histogram, py::arg("image"), py::arg("selection"), py::arg("threads"));
    module.def("apply_threshold", &apply_threshold, py::arg("image"), py::arg("t"),
               py::arg("threads"));
    module.def("angles_to_levels", &angles_to_levels, py::arg("angles"), py::arg("period"),
               py::arg("offset"));
    module.def("threshold_histogram", &threshold_histogram, py::arg("counts"));
    register_classes(module);
    add_hue_pass(module);
}
