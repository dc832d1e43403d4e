// The circular search for the cut of least within-class variance, and the counts it starts from.
#include "threshold/threshold.h"

// Every operation below is rounded on its own and done in this order: the
// reported variance depends on it to the last bit.

namespace {

constexpr int HALF = GREY_LEVELS / 2;

// Moments of one class: its positions are grey levels, unwrapped across the cut.
struct ClassMoments {
    double weight;  // sum of p
    double sum1;    // sum of position * p
    double sum2;    // sum of position^2 * p
};

// Adds levels first..first+HALF-1, at their own positions, and returns the spread
// of the class around its mean.
double evaluate_directly(const double* p, int first, ClassMoments* moments) {
    for (int k = first; k < first + HALF; ++k) {
        moments->weight += p[k];
        moments->sum1 += static_cast<double>(k) * p[k];
        moments->sum2 += static_cast<double>(k * k) * p[k];
    }
    const double mean = moments->sum1 / moments->weight;
    double spread = 0.0;
    for (int k = first; k < first + HALF; ++k) spread += ((k - mean) * (k - mean)) * p[k];
    return spread;
}

// One level leaves the class at position gone and another joins it at position
// come; returns the new spread.
double move_level(ClassMoments* moments, int gone, double gone_p, int come, double come_p) {
    moments->weight = (moments->weight - gone_p) + come_p;
    moments->sum2 = (moments->sum2 - static_cast<double>(gone * gone) * gone_p) +
                    static_cast<double>(come * come) * come_p;
    moments->sum1 = (moments->sum1 - static_cast<double>(gone) * gone_p) +
                    static_cast<double>(come) * come_p;
    return moments->sum2 - (moments->sum1 * moments->sum1) / moments->weight;
}

}  // namespace

ThresholdResult find_threshold(const double histogram[GREY_LEVELS]) {
    ThresholdResult best = {-1, NO_VARIANCE};
    ClassMoments window = {0.0, 0.0, 0.0};      // levels t..t+127
    ClassMoments complement = {0.0, 0.0, 0.0};  // levels t+128..255, then 0..t-1 at 256..t+255
    double window_spread = evaluate_directly(histogram, 0, &window);
    double complement_spread = evaluate_directly(histogram, HALF, &complement);
    for (int t = 0; t < HALF; ++t) {
        if (t > 0) {
            // Level t-1 leaves the window and joins the complement one turn on,
            // at t+255; level t+127 goes the other way at its own position.
            const double out = histogram[t - 1];
            const double in = histogram[t + HALF - 1];
            window_spread = move_level(&window, t - 1, out, t + HALF - 1, in);
            complement_spread = move_level(&complement, t + HALF - 1, in, t + GREY_LEVELS - 1, out);
        }
        // Exact comparison: a NaN weight counts as non-zero, but its NaN variance never wins.
        if (window.weight != 0.0 && complement.weight != 0.0) {
            const double variance = window_spread + complement_spread;
            if (variance < best.variance) best = {t, variance};
        }
    }
    return best;
}

bool frequencies_of_counts(double histogram[GREY_LEVELS], const uint64_t counts[GREY_LEVELS]) {
    uint64_t pixels = 0;
    for (int level = 0; level < GREY_LEVELS; ++level) {
        if (counts[level] > UINT64_MAX - pixels) return false;
        pixels += counts[level];
    }
    make_frequencies(histogram, counts, static_cast<double>(pixels));
    return true;
}

bool threshold_of_counts(const uint64_t counts[GREY_LEVELS], ThresholdResult* result) {
    double histogram[GREY_LEVELS];
    if (!frequencies_of_counts(histogram, counts)) return false;
    *result = find_threshold(histogram);
    return true;
}

void make_frequencies(double histogram[GREY_LEVELS], const uint64_t total[GREY_LEVELS],
                      double pixels) {
    // A division per level, not a multiplication by 1/pixels: the two can differ
    // in the last bit.
    for (int level = 0; level < GREY_LEVELS; ++level)
        histogram[level] = static_cast<double>(total[level]) / pixels;
}
