// Prints the search's result for many pseudo-random histograms, every bit of the
// variance in hex. The test suite builds this twice, unoptimised and optimised
// for the build machine's processor, and requires the two outputs to match: a
// fused multiply-add or a reordered sum would change some of the bits.
#include <cstdio>

#include "threshold/threshold.h"

int main() {
    unsigned seed = 2024;
    for (int round = 0; round < 2000; ++round) {
        double counts[GREY_LEVELS];
        double total = 0.0;
        const int spread = 1 + round % 97;
        for (int k = 0; k < GREY_LEVELS; ++k) {
            seed = seed * 1664525u + 1013904223u;
            counts[k] = (seed >> 8) % spread == 0 ? static_cast<double>((seed >> 12) % 5000) : 0.0;
            total += counts[k];
        }
        double histogram[GREY_LEVELS];
        for (int k = 0; k < GREY_LEVELS; ++k) histogram[k] = counts[k] / total;
        const ThresholdResult result = find_threshold(histogram);
        printf("%d %a\n", result.threshold, result.variance);
    }
    return 0;
}
