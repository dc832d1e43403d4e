// The page's WebAssembly module: the command's run (counting, search,
// binarisation, report) through the C library, so the page's report and mask
// are the command's to the byte. The page calls the library's circthresh_hue
// for a photo's hue directly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "circthresh.h"

extern "C" {

// The command's run on rows x columns grey levels, row by row: the search on
// the levels of the pixels whose counted byte is not 0 (every pixel when
// counted is NULL), the report lines into report as the command prints them,
// and every pixel binarised by the command's rule into mask. An empty image
// (0 rows or columns) reports as the command does: threshold -1. Returns the
// threshold (-1..127); -2, writing no mask, when the library refuses the image
// or report_size is too small for the report. counts_searched, unless NULL,
// receives the 256 counts searched (the page's histogram).
int web_threshold(const uint8_t* levels, size_t rows, size_t columns, const uint8_t* counted,
                  uint8_t* mask, char* report, size_t report_size, uint64_t* counts_searched) {
    uint64_t counts[256] = {0};
    const bool empty = rows == 0 || columns == 0;
    // No pixels: the counts stay 0 and the search finds no cut, as the command's.
    if (!empty && circthresh_histogram(levels, rows, columns, columns, counted, columns, counts) !=
                      CIRCTHRESH_OK)
        return -2;
    int t = -1;
    double sigma_w = 0.0;
    if (circthresh_threshold_counts(counts, &t, &sigma_w) != CIRCTHRESH_OK) return -2;
    if (counts_searched != nullptr) std::memcpy(counts_searched, counts, sizeof counts);
    // C's "%f", not JavaScript's toFixed: the two round exact halves differently.
    const int length = std::snprintf(report, report_size, "thresholding at %d\nsigma_W %f\n", t,
                                     sigma_w);
    if (length < 0 || static_cast<size_t>(length) >= report_size) return -2;
    if (!empty &&
        circthresh_apply(levels, rows, columns, columns, t, mask, columns) != CIRCTHRESH_OK)
        return -2;
    return t;
}

}  // extern "C"
