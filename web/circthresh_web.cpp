// The page's WebAssembly module: the command's run (counting, search,
// binarisation, report) through the C library, so the page's report and mask
// are the command's to the byte. The page calls the library's circthresh_hue
// for a photo's hue directly. Counting and binarising take any band of rows,
// so that the page can call them a band at a time (web/core_calls.js).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "circthresh.h"
#include "threshold/level_counts.h"

extern "C" {

// Adds to counts the levels of rows x columns pixels, row by row, whose
// counted byte is not 0 (every pixel when counted is NULL). No pixels add
// nothing, as the command counts none. Returns 0, or -2 when the library
// refuses the image.
int web_count(const uint8_t* levels, size_t rows, size_t columns, const uint8_t* counted,
              uint64_t* counts) {
    if (rows == 0 || columns == 0) return 0;
    return circthresh_histogram(levels, rows, columns, columns, counted, columns, counts) ==
                   CIRCTHRESH_OK
               ? 0
               : -2;
}

// The same for every pixel, counted as the command counts a large image: the
// band's rows as one run, two neighbours at a time into pairs (LEVEL_PAIRS
// counters, cleared first), any level left over into counts. web_merge_pairs
// adds the pairs to counts; the module's 2 GB hold too few pixels for a
// counter to overflow before. At 5000 x 5000 in the vector module in node the
// counting took 5.7 to 7.2 ms this way against 8.4 to 8.7 by web_count. Returns 0.
int web_count_pairs(const uint8_t* levels, size_t rows, size_t columns, uint32_t* pairs,
                    uint64_t* counts) {
    LevelCounts left = {};
    count_levels_by_pairs(left, pairs, levels, static_cast<ptrdiff_t>(rows * columns));
    uint64_t total[GREY_LEVELS];
    merge_level_counts(total, left);
    for (int level = 0; level < GREY_LEVELS; ++level) counts[level] += total[level];
    return 0;
}

// Adds the pairs web_count_pairs took to counts, and clears them.
void web_merge_pairs(uint32_t* pairs, uint64_t* counts) { merge_level_pairs(counts, pairs); }

// The command's search on 256 counts, and its report lines into report as it
// prints them: with no pixel counted, threshold -1 as the command's. Returns the
// threshold (-1..127); -2 when the library refuses or report_size is too small.
int web_cut(const uint64_t* counts, char* report, size_t report_size) {
    int t = -1;
    double sigma_w = 0.0;
    if (circthresh_threshold_counts(counts, &t, &sigma_w) != CIRCTHRESH_OK) return -2;
    // C's "%f", not JavaScript's toFixed: the two round exact halves differently.
    const int length = std::snprintf(report, report_size, "thresholding at %d\nsigma_W %f\n", t,
                                     sigma_w);
    if (length < 0 || static_cast<size_t>(length) >= report_size) return -2;
    return t;
}

// Every one of rows x columns levels binarised at threshold t by the command's
// rule into mask. Returns 0, or -2 when the library refuses.
int web_binarise(const uint8_t* levels, size_t rows, size_t columns, int t, uint8_t* mask) {
    if (rows == 0 || columns == 0) return 0;
    return circthresh_apply(levels, rows, columns, columns, t, mask, columns) == CIRCTHRESH_OK ? 0
                                                                                               : -2;
}

}  // extern "C"
