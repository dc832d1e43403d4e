// The size check of the C library's images: extents and strides that fit the address space.
#include "library/raster_extent.h"

#include <cstdint>

size_t stride_magnitude(ptrdiff_t stride) {
    return stride < 0 ? size_t{0} - static_cast<size_t>(stride) : static_cast<size_t>(stride);
}

bool raster_fits(size_t rows, size_t columns, ptrdiff_t stride) {
    const size_t limit = PTRDIFF_MAX;
    if (rows == 0 || columns == 0 || columns > limit) return false;
    const size_t step = stride_magnitude(stride);
    // Division, not multiplication: the product itself could overflow.
    return step == 0 || rows - 1 <= (limit - columns) / step;
}

// The image's lowest address and one past its highest: with a negative
// stride the last row is the lowest.
static void raster_span(const void* first, size_t rows, size_t columns, ptrdiff_t stride,
                        uintptr_t& low, uintptr_t& high) {
    const uintptr_t extent = (rows - 1) * stride_magnitude(stride);
    low = reinterpret_cast<uintptr_t>(first) - (stride < 0 ? extent : 0);
    high = low + extent + columns;
}

bool rasters_overlap(const void* a, size_t rows, size_t columns, ptrdiff_t a_stride, const void* b,
                     ptrdiff_t b_stride) {
    uintptr_t a_low, a_high, b_low, b_high;
    raster_span(a, rows, columns, a_stride, a_low, a_high);
    raster_span(b, rows, columns, b_stride, b_low, b_high);
    return a_low < b_high && b_low < a_high;
}
