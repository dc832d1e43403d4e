// circthresh_threshold_classes_counts and circthresh_apply_classes: k classes
// around the circle, the search on a caller's counts and the labelling.
#include <cstdint>
#include <cstdlib>

#include "circthresh.h"
#include "library/raster_extent.h"
#include "threshold/classes_search.h"

int circthresh_threshold_classes_counts(const uint64_t counts[256], int classes, int cuts[],
                                        double* sigma_w) {
    if (counts == nullptr || cuts == nullptr || sigma_w == nullptr || classes < MIN_CLASSES ||
        classes > MAX_CLASSES)
        return CIRCTHRESH_EINVAL;
    // The work space is too large for the stack of every thread a caller may run.
    ClassesScratch* scratch = static_cast<ClassesScratch*>(std::malloc(sizeof(ClassesScratch)));
    if (scratch == nullptr) return CIRCTHRESH_ENOMEM;
    int found[MAX_CLASSES];
    double variance;
    const bool fits = classes_of_counts(counts, classes, found, &variance, scratch);
    std::free(scratch);
    if (!fits) return CIRCTHRESH_EINVAL;
    for (int i = 0; i < classes; ++i) cuts[i] = found[i];
    *sigma_w = variance;
    return CIRCTHRESH_OK;
}

int circthresh_apply_classes(const uint8_t* pixels, size_t rows, size_t columns,
                             ptrdiff_t row_stride, const int cuts[], int classes, uint8_t* labels,
                             ptrdiff_t labels_row_stride) {
    if (pixels == nullptr || labels == nullptr || cuts == nullptr || classes < MIN_CLASSES ||
        classes > MAX_CLASSES || !raster_fits(rows, columns, row_stride) ||
        !raster_fits(rows, columns, labels_row_stride) ||
        (rows > 1 && stride_magnitude(labels_row_stride) < columns))
        return CIRCTHRESH_EINVAL;
    // As for circthresh_apply: exactly in place, or not overlapping at all.
    const bool in_place = labels == pixels && labels_row_stride == row_stride;
    if (!in_place && rasters_overlap(pixels, rows, columns, row_stride, labels, labels_row_stride))
        return CIRCTHRESH_EINVAL;
    for (int i = 0; i < classes; ++i)
        if (cuts[i] < (i == 0 ? 0 : cuts[i - 1] + 1) || cuts[i] > 255) return CIRCTHRESH_EINVAL;
    uint8_t label_of[256];
    for (int level = 0; level < 256; ++level)
        label_of[level] = static_cast<uint8_t>(class_of_level(level, cuts, classes));
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* in = pixels + static_cast<ptrdiff_t>(r) * row_stride;
        uint8_t* out = labels + static_cast<ptrdiff_t>(r) * labels_row_stride;
        for (size_t c = 0; c < columns; ++c) out[c] = label_of[in[c]];
    }
    return CIRCTHRESH_OK;
}
