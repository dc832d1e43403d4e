// The page's WebAssembly module: the hue of a photo on the 256-level circle,
// and the command's run (counting, search, binarisation, report) through the C
// library, so the page's report and mask are the command's to the byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "circthresh.h"

namespace {

// Hue of one RGB pixel as a level: one turn of HSV hue onto 256 levels,
// rounded half up, from integers only, so it is the exact hue rounded once.
// top and chroma are the largest channel and its distance from the smallest.
// The sectors follow HSV: the largest channel picks it, red before green
// before blue on a tie; grey (chroma 0) has hue 0.
uint8_t hue_level(int r, int g, int b, int top, int chroma) {
    if (chroma == 0) return 0;
    // Sixths of a turn times chroma: hue / 60 degrees = sixths / chroma.
    int sixths;
    if (top == r)
        sixths = g - b;
    else if (top == g)
        sixths = b - r + 2 * chroma;
    else
        sixths = r - g + 4 * chroma;
    if (sixths < 0) sixths += 6 * chroma;
    // level = round(256 * sixths / (6 * chroma)); a full turn (256) is level 0.
    const int level = (512 * sixths + 6 * chroma) / (12 * chroma);
    return static_cast<uint8_t>(level & 255);
}

// Whether HSV saturation, chroma / top (0 for black), reaches percent: in
// integers, so 25% takes exactly chroma / top >= 1/4.
uint8_t saturated(int top, int chroma, int percent) {
    if (top == 0) return percent == 0;
    return 100 * chroma >= percent * top;
}

}  // namespace

extern "C" {

// For each of the pixels RGBA pixels (4 bytes each, alpha not read): its hue
// level into hue, and into counted 1 where its saturation reaches
// saturation_percent (0..100), else 0. Returns 0, or -1 for a percent outside
// 0..100, writing nothing.
int web_hue(const uint8_t* rgba, size_t pixels, int saturation_percent, uint8_t* hue,
            uint8_t* counted) {
    if (saturation_percent < 0 || saturation_percent > 100) return -1;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        const int r = rgba[0], g = rgba[1], b = rgba[2];
        const int top = std::max(r, std::max(g, b));
        const int chroma = top - std::min(r, std::min(g, b));
        hue[i] = hue_level(r, g, b, top, chroma);
        counted[i] = saturated(top, chroma, saturation_percent);
    }
    return 0;
}

// The command's run on rows x columns grey levels, row by row: the search on
// the levels of the pixels whose counted byte is not 0 (every pixel when
// counted is NULL), the report lines into report as the command prints them,
// and every pixel binarised by the command's rule into mask. An empty image
// (0 rows or columns) reports as the command does: threshold -1. Returns the
// threshold (-1..127); -2, writing no mask, when the library refuses the image
// or report_size is too small for the report.
int web_threshold(const uint8_t* levels, size_t rows, size_t columns, const uint8_t* counted,
                  uint8_t* mask, char* report, size_t report_size) {
    uint64_t counts[256] = {0};
    const bool empty = rows == 0 || columns == 0;
    // No pixels: the counts stay 0 and the search finds no cut, as the command's.
    if (!empty && circthresh_histogram(levels, rows, columns, columns, counted, columns, counts) !=
                      CIRCTHRESH_OK)
        return -2;
    int t = -1;
    double sigma_w = 0.0;
    if (circthresh_threshold_counts(counts, &t, &sigma_w) != CIRCTHRESH_OK) return -2;
    // C's "%f", not JavaScript's toFixed: the two round exact halves differently.
    const int length = std::snprintf(report, report_size, "thresholding at %d\nsigma_W %f\n", t,
                                     sigma_w);
    if (length < 0 || static_cast<size_t>(length) >= report_size) return -2;
    if (!empty && circthresh_apply(levels, rows, columns, columns, t, mask, columns) != CIRCTHRESH_OK)
        return -2;
    return t;
}

}  // extern "C"
