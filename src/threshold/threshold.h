// Circular thresholding: grey levels 0..255 as points on a circle, cut into two
// half-circles of 128 consecutive levels; the cut of least within-class variance wins.
#pragma once

constexpr int GREY_LEVELS = 256;

// Threshold t names the cut that sets levels t..t+127 against the rest.
struct ThresholdResult {
    int threshold;    // 0..127, or -1 when no cut had two non-empty classes
    double variance;  // within-class variance of that cut, or 9e20
};

// Frequencies of the grey levels among the width x height pixels of the
// column-first store: counts divided by width x height, NaN for an empty image.
void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows);

// The cut of least within-class variance; the lower threshold wins a tie.
ThresholdResult find_threshold(const double histogram[GREY_LEVELS]);

// Levels threshold..threshold+127, counted around the circle, become 0 and all
// others 255, in place.
void threshold_image(unsigned char* store, int columns, int rows, int threshold);
