// circthresh_threshold_counts: the command's search, on a caller's counts.
#include <cstdint>

#include "circthresh.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

int circthresh_threshold_counts(const uint64_t counts[256], int* t, double* sigma_w) {
    if (counts == nullptr || t == nullptr || sigma_w == nullptr) return CIRCTHRESH_EINVAL;
    uint64_t pixels = 0;
    for (int level = 0; level < GREY_LEVELS; ++level) {
        if (counts[level] > UINT64_MAX - pixels) return CIRCTHRESH_EINVAL;
        pixels += counts[level];
    }
    // The sum of the counts is the command's width x height for a whole image,
    // so the frequencies, and with them the result, are the command's bits.
    double histogram[GREY_LEVELS];
    make_frequencies(histogram, counts, static_cast<double>(pixels));
    const ThresholdResult result = find_threshold(histogram);
    *t = result.threshold;
    *sigma_w = result.variance;
    return CIRCTHRESH_OK;
}
