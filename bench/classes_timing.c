/* Times circthresh_threshold_classes_counts on a histogram with all 256 levels
   occupied: the median of 21 calls for each number of classes, against the
   targets of 1 ms for 3 classes and 10 ms for 8. Not a test: prints only.
   Built and run by bench/classes.sh. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "circthresh.h"

enum { CALLS = 21 };

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int by_value(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(void) {
    /* Three hue clusters over a floor of one count: every level occupied. */
    uint64_t counts[256];
    for (int level = 0; level < 256; ++level) {
        const int d0 = abs(level - 30), d1 = abs(level - 110), d2 = abs(level - 200);
        counts[level] = 1 + 5000 / (1 + d0 * d0) + 3000 / (1 + d1 * d1) + 4000 / (1 + d2 * d2);
    }
    const int wanted[] = {2, 3, 4, 8, 16};
    for (size_t w = 0; w < sizeof wanted / sizeof wanted[0]; ++w) {
        const int classes = wanted[w];
        int cuts[16];
        double sigma_w = 0.0, times[CALLS];
        for (int call = 0; call < CALLS; ++call) {
            const double start = now_ms();
            if (circthresh_threshold_classes_counts(counts, classes, cuts, &sigma_w) !=
                CIRCTHRESH_OK) {
                fprintf(stderr, "classes_timing: the call failed\n");
                return 1;
            }
            times[call] = now_ms() - start;
        }
        qsort(times, CALLS, sizeof times[0], by_value);
        printf("classes=%-2d median %.3f ms (min %.3f, max %.3f) of %d calls; sigma_W %f; cuts",
               classes, times[CALLS / 2], times[0], times[CALLS - 1], CALLS, sigma_w);
        for (int i = 0; i < classes; ++i) printf(" %d", cuts[i]);
        printf("\n");
    }
    return 0;
}
