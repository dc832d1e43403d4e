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
