// circthresh_threshold_counts: the command's search, on a caller's counts.
#include <cstdint>

#include "circthresh.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

int circthresh_threshold_counts(const uint64_t counts[256], int* t, double* sigma_w) {
    ThresholdResult result;
    if (counts == nullptr || t == nullptr || sigma_w == nullptr ||
        !threshold_of_counts(counts, &result))
        return CIRCTHRESH_EINVAL;
    *t = result.threshold;
    *sigma_w = result.variance;
    return CIRCTHRESH_OK;
}
