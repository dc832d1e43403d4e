// circthresh_histogram: the command's level counting, over rows of any stride.
#include <cstdint>

#include "circthresh.h"
#include "library/raster_extent.h"
#include "threshold/level_counts.h"

int circthresh_histogram(const uint8_t* pixels, size_t rows, size_t columns, ptrdiff_t row_stride,
                         const uint8_t* mask, ptrdiff_t mask_row_stride, uint64_t counts[256]) {
    if (pixels == nullptr || counts == nullptr || !raster_fits(rows, columns, row_stride) ||
        (mask != nullptr && !raster_fits(rows, columns, mask_row_stride)))
        return CIRCTHRESH_EINVAL;
    // Counted into local tables first: the caller's counts are only added to
    // at the end, so they are never left half-updated.
    LevelCounts tables = {};
    const ptrdiff_t length = static_cast<ptrdiff_t>(columns);
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* row = pixels + static_cast<ptrdiff_t>(r) * row_stride;
        if (mask == nullptr)
            count_levels(tables, row, 1, length);
        else
            count_selected_levels(tables, row, 1,
                                  mask + static_cast<ptrdiff_t>(r) * mask_row_stride, 1, length);
    }
    uint64_t total[GREY_LEVELS];
    merge_level_counts(total, tables);
    for (int level = 0; level < GREY_LEVELS; ++level) counts[level] += total[level];
    return CIRCTHRESH_OK;
}
