// circthresh_hue: a photo's hue on the 256-level circle, and which pixels
// reach a saturation floor, from rows of RGB or RGBA pixels of any stride.
#include <cstdint>

#include "circthresh.h"
#include "library/raster_extent.h"
#include "threshold/hue_level.h"

namespace {

// Whether rows x columns output bytes, rows stride bytes apart, fit in memory
// and keep their rows apart.
bool output_fits(size_t rows, size_t columns, ptrdiff_t stride) {
    return raster_fits(rows, columns, stride) && (rows == 1 || stride_magnitude(stride) >= columns);
}

// The lowest address of rows of row_bytes, stride apart, and one past their
// highest, as integers (pointers into different objects may not be compared).
struct Span {
    uintptr_t low, high;
};
Span span_of(const void* first, size_t rows, size_t row_bytes, ptrdiff_t stride) {
    const uintptr_t extent = (rows - 1) * stride_magnitude(stride);
    const uintptr_t low = reinterpret_cast<uintptr_t>(first) - (stride < 0 ? extent : 0);
    return {low, low + extent + row_bytes};
}
bool spans_meet(Span a, Span b) { return a.low < b.high && b.low < a.high; }

}  // namespace

int circthresh_hue(const uint8_t* rgb, size_t rows, size_t columns, ptrdiff_t row_stride,
                   int channels, int saturation_percent, uint8_t* hue, ptrdiff_t hue_row_stride,
                   uint8_t* counted, ptrdiff_t counted_row_stride) {
    // Every check before the first byte is written: a failed call writes nothing.
    if (rgb == nullptr || hue == nullptr || (channels != 3 && channels != 4) ||
        saturation_percent < 0 || saturation_percent > 100 ||
        columns > static_cast<size_t>(PTRDIFF_MAX) / 4 ||
        !raster_fits(rows, columns * static_cast<size_t>(channels), row_stride) ||
        !output_fits(rows, columns, hue_row_stride) ||
        (counted != nullptr && !output_fits(rows, columns, counted_row_stride)))
        return CIRCTHRESH_EINVAL;
    // An output over the photo would overwrite pixels not yet read, and the
    // two outputs over each other would leave one's bytes in the other.
    const Span photo = span_of(rgb, rows, columns * static_cast<size_t>(channels), row_stride);
    const Span levels = span_of(hue, rows, columns, hue_row_stride);
    if (spans_meet(photo, levels)) return CIRCTHRESH_EINVAL;
    if (counted != nullptr) {
        const Span mask = span_of(counted, rows, columns, counted_row_stride);
        if (spans_meet(photo, mask) || spans_meet(levels, mask)) return CIRCTHRESH_EINVAL;
    }
    const ptrdiff_t length = static_cast<ptrdiff_t>(columns);
    for (size_t r = 0; r < rows; ++r) {
        const ptrdiff_t row = static_cast<ptrdiff_t>(r);
        hue_run(rgb + row * row_stride, 1, channels, length, saturation_percent,
                hue + row * hue_row_stride, 1,
                counted != nullptr ? counted + row * counted_row_stride : nullptr, 1);
    }
    return CIRCTHRESH_OK;
}
