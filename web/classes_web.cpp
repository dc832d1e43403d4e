// The page's k classes around the circle: the C library's search on the
// counted pixels, the labels, and the report, from the module's one core.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "circthresh.h"

extern "C" {

// rows x columns levels, row by row; counted as for web_count (NULL: every
// pixel). Writes classes (2..16) cuts into cuts (-1s when fewer levels hold
// pixels than classes), each pixel's class index into labels (all 0 with no
// cuts), and into report "cuts C0 C1 ...\nsigma_W %f\n" ("cuts none" with no
// cuts). Returns 0, or -2, writing nothing, when the library refuses an
// argument or the report does not fit.
int web_classes(const uint8_t* levels, size_t rows, size_t columns, const uint8_t* counted,
                int classes, uint8_t* labels, int* cuts, char* report, size_t report_size) {
    uint64_t counts[256] = {0};
    const bool empty = rows == 0 || columns == 0;
    if (!empty && circthresh_histogram(levels, rows, columns, columns, counted, columns, counts) !=
                      CIRCTHRESH_OK)
        return -2;
    int found[16];
    double sigma_w = 0.0;
    if (circthresh_threshold_classes_counts(counts, classes, found, &sigma_w) != CIRCTHRESH_OK)
        return -2;
    char text[16 * 4 + 64] = "cuts";
    size_t length = 4;
    for (int i = 0; i < classes && found[0] >= 0; ++i)
        length += static_cast<size_t>(
            std::snprintf(text + length, sizeof text - length, " %d", found[i]));
    // C's "%f", as the command prints sigma_W.
    const int tail = std::snprintf(text + length, sizeof text - length, "%s\nsigma_W %f\n",
                                   found[0] >= 0 ? "" : " none", sigma_w);
    if (tail < 0 || length + static_cast<size_t>(tail) >= report_size) return -2;
    if (!empty && found[0] >= 0 &&
        circthresh_apply_classes(levels, rows, columns, columns, found, classes, labels, columns) !=
            CIRCTHRESH_OK)
        return -2;
    if (!empty && found[0] < 0) std::memset(labels, 0, rows * columns);
    std::memcpy(cuts, found, sizeof(int) * static_cast<size_t>(classes));
    std::memcpy(report, text, length + static_cast<size_t>(tail) + 1);
    return 0;
}

}  // extern "C"
