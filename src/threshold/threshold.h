// Circular thresholding: grey levels 0..255 as points on a circle, cut into two
// half-circles of 128 consecutive levels; the cut of least within-class variance wins.
#pragma once

#include <cstdint>

constexpr int GREY_LEVELS = 256;

// The variance given where no cut counts (the two classes, or the k, cannot
// each hold a level): far above any that levels 0..255 can have, and printed
// as 900000000000000000000.000000, which a script can test for.
constexpr double NO_VARIANCE = 9e20;

// Threshold t names the cut that sets levels t..t+127 against the rest.
struct ThresholdResult {
    int threshold;    // 0..127, or -1 when no cut had two non-empty classes
    double variance;  // within-class variance of that cut, or NO_VARIANCE
};

// The cut of least within-class variance; the lower threshold wins a tie.
ThresholdResult find_threshold(const double histogram[GREY_LEVELS]);

// Each count divided by pixels, as doubles: the frequencies the search takes.
// Integer counts are exact in any visiting order, so every walk over the same
// pixels gives the same frequencies to the last bit.
void make_frequencies(double histogram[GREY_LEVELS], const uint64_t total[GREY_LEVELS],
                      double pixels);

// The frequencies of counts (make_frequencies over their sum); false, writing
// nothing, when the counts add up to more than 2^64 - 1.
bool frequencies_of_counts(double histogram[GREY_LEVELS], const uint64_t counts[GREY_LEVELS]);

// The search on a table of counts, each divided by their sum: for the counts of
// a whole image the command's result, bit for bit. False, with result untouched,
// when the counts add up past 2^64 - 1.
bool threshold_of_counts(const uint64_t counts[GREY_LEVELS], ThresholdResult* result);
