// circthresh_apply: the command's binarisation, from any image into any other.
#include <cstdint>

#include "circthresh.h"
#include "library/raster_extent.h"
#include "threshold/binary_level.h"

int circthresh_apply(const uint8_t* pixels, size_t rows, size_t columns, ptrdiff_t row_stride,
                     int t, uint8_t* binary, ptrdiff_t binary_row_stride) {
    if (pixels == nullptr || binary == nullptr || t < -1 || t > 127 ||
        !raster_fits(rows, columns, row_stride) || !raster_fits(rows, columns, binary_row_stride) ||
        (rows > 1 && stride_magnitude(binary_row_stride) < columns))
        return CIRCTHRESH_EINVAL;
    // Exactly in place reads each byte before writing it; any other overlap
    // would read bytes already binarised.
    const bool in_place = binary == pixels && binary_row_stride == row_stride;
    if (!in_place && rasters_overlap(pixels, rows, columns, row_stride, binary, binary_row_stride))
        return CIRCTHRESH_EINVAL;
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* in = pixels + static_cast<ptrdiff_t>(r) * row_stride;
        uint8_t* out = binary + static_cast<ptrdiff_t>(r) * binary_row_stride;
        // A contiguous row: a loop the compiler vectorises. In place, in == out.
        for (size_t c = 0; c < columns; ++c) out[c] = binary_level(in[c], t);
    }
    return CIRCTHRESH_OK;
}
