// circthresh._core.hue: the hue level, and optionally the saturation floor, of
// every colour of a uint8 array whose last axis holds 3 or 4 channels, in
// place whatever its strides, split over threads without the global lock.
#include "hue_pass.h"

#include <pybind11/numpy.h>

#include <cstdint>
#include <vector>

#include "array_walk.h"
#include "signal_watch.h"
#include "threshold/hue_level.h"
#include "walk_pieces.h"

namespace py = pybind11;

namespace {

// Pieces of about a tenth of a millisecond, as for the other passes: the hue
// of a pixel costs a few times the counting of one.
constexpr ptrdiff_t PIECE_PIXELS = ptrdiff_t{1} << 16;

// A new uint8 array of the pixels' shape, laid out in the order a walk takes
// the pixels, so that both are read and written in memory order.
py::array_t<uint8_t> pixels_array(const std::vector<ptrdiff_t>& shape,
                                  const std::vector<ptrdiff_t>& pixel_strides) {
    return py::array_t<uint8_t>(shape, strides_walked_like(shape, pixel_strides));
}

// (hue, counted): counted is None when percent is -1, else 1 where the pixel
// reaches percent, 0 elsewhere. The package checks the arguments and says what
// was wrong; this checks again what would read or write out of bounds.
py::tuple hue(const py::array& rgb, int percent, int threads) {
    const py::ssize_t axes = rgb.ndim();
    if (rgb.dtype().kind() != 'u' || rgb.dtype().itemsize() != 1)
        throw py::type_error("rgb: expected dtype uint8");
    if (axes < 1 || (rgb.shape(axes - 1) != 3 && rgb.shape(axes - 1) != 4))
        throw py::value_error("rgb: expected 3 or 4 channels on the last axis");
    if (percent < -1 || percent > 100 || threads < 1)
        throw py::value_error("percent: expected -1..100; threads: 1 or more");
    const std::vector<ptrdiff_t> shape(rgb.shape(), rgb.shape() + axes - 1);
    const std::vector<ptrdiff_t> strides(rgb.strides(), rgb.strides() + axes - 1);
    const ptrdiff_t channel_step = rgb.strides(axes - 1);
    py::array_t<uint8_t> levels = pixels_array(shape, strides);
    py::object counted_array = py::none();
    uint8_t* counted = nullptr;
    if (percent >= 0) {
        py::array_t<uint8_t> array = pixels_array(shape, strides);
        counted = array.mutable_data();
        counted_array = array;
    }
    // levels and counted share their layout: the walk's output offsets serve both.
    std::vector<ptrdiff_t> level_strides(levels.strides(), levels.strides() + axes - 1);
    const Walk walk = plan_walk(shape, {strides, level_strides});
    const uint8_t* pixels = static_cast<const uint8_t*>(rgb.data());
    uint8_t* level_data = levels.mutable_data();
    run_unlocked([&](const std::function<bool()>& stop) {
        walk_in_pieces(
            walk, workers_for(walk, threads, PIECE_PIXELS), stop,
            [&](int, ptrdiff_t begin, ptrdiff_t end) {
                walk_runs(walk, begin, end,
                          [&](const ptrdiff_t* offsets, const ptrdiff_t* steps, ptrdiff_t length) {
                              hue_run(pixels + offsets[0], channel_step, steps[0], length,
                                      percent < 0 ? 0 : percent, level_data + offsets[1], steps[1],
                                      counted ? counted + offsets[1] : nullptr, steps[1]);
                          });
            },
            PIECE_PIXELS);
    });
    return py::make_tuple(levels, counted_array);
}

}  // namespace

void add_hue_pass(py::module_& module) {
    module.def("hue", &hue, py::arg("rgb"), py::arg("percent"), py::arg("threads"));
}
