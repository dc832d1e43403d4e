// k classes around the circle in circthresh._core: the search on counts and
// the labelling of an array, both without Python's global lock. The package
// (circthresh/classes.py) checks and documents the arguments.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "array_walk.h"
#include "signal_watch.h"
#include "threshold/classes_search.h"
#include "walk_pieces.h"

namespace py = pybind11;

namespace {

// (cuts, sigma_w) of 256 counts, cuts a tuple of classes levels or None.
py::tuple threshold_classes_counts(const py::array_t<uint64_t, py::array::c_style>& counts,
                                   int classes) {
    if (counts.ndim() != 1 || counts.shape(0) != GREY_LEVELS)
        throw py::value_error("counts: expected 256 counts");
    if (classes < MIN_CLASSES || classes > MAX_CLASSES)
        throw py::value_error("classes: expected 2..16");
    const uint64_t* table = counts.data();
    int cuts[MAX_CLASSES];
    double variance = 0.0;
    bool fits;
    {
        py::gil_scoped_release unlocked;
        auto scratch = std::make_unique<ClassesScratch>();
        fits = classes_of_counts(table, classes, cuts, &variance, scratch.get());
    }
    if (!fits) throw py::value_error("counts: their total does not fit in 64 bits");
    if (cuts[0] < 0) return py::make_tuple(py::none(), variance);
    py::tuple levels(classes);
    for (int i = 0; i < classes; ++i) levels[i] = cuts[i];
    return py::make_tuple(levels, variance);
}

// The class index of every pixel under cuts, into a new array of the image's shape.
py::array_t<uint8_t> apply_classes(const py::array& image, const std::vector<int>& cuts,
                                   int threads) {
    const int classes = static_cast<int>(cuts.size());
    if (!(image.dtype().kind() == 'u' && image.dtype().itemsize() == 1))
        throw py::value_error("image: expected dtype uint8");
    if (classes < MIN_CLASSES || classes > MAX_CLASSES || threads < 1)
        throw py::value_error("cuts: expected 2..16 of them; threads: 1 or more");
    for (int i = 0; i < classes; ++i)
        if (cuts[i] < (i == 0 ? 0 : cuts[i - 1] + 1) || cuts[i] >= GREY_LEVELS)
            throw py::value_error("cuts: expected strictly increasing levels in 0..255");
    unsigned char label_of[GREY_LEVELS];
    for (int level = 0; level < GREY_LEVELS; ++level)
        label_of[level] = static_cast<unsigned char>(class_of_level(level, cuts.data(), classes));
    const std::vector<ptrdiff_t> shape(image.shape(), image.shape() + image.ndim());
    py::array_t<uint8_t> labels(shape);
    const std::vector<ptrdiff_t> image_strides(image.strides(), image.strides() + image.ndim());
    const std::vector<ptrdiff_t> label_strides(labels.strides(), labels.strides() + labels.ndim());
    const Walk walk = plan_walk(shape, {image_strides, label_strides});
    const unsigned char* pixels = static_cast<const unsigned char*>(image.data());
    unsigned char* out = labels.mutable_data();
    run_unlocked([&](const std::function<bool()>& stop) {
        walk_in_pieces(
            walk, workers_for(walk, threads), stop, [&](int, ptrdiff_t begin, ptrdiff_t end) {
                walk_runs(walk, begin, end,
                          [&](const ptrdiff_t* offsets, const ptrdiff_t* steps, ptrdiff_t length) {
                              const unsigned char* in = pixels + offsets[0];
                              unsigned char* to = out + offsets[1];
                              for (ptrdiff_t i = 0; i < length; ++i)
                                  to[i * steps[1]] = label_of[in[i * steps[0]]];
                          });
            });
    });
    return labels;
}

}  // namespace

void register_classes(py::module_& module) {
    module.def("threshold_classes_counts", &threshold_classes_counts, py::arg("counts"),
               py::arg("classes"));
    module.def("apply_classes", &apply_classes, py::arg("image"), py::arg("cuts"),
               py::arg("threads"));
}
