// The command's histogram: the level counts of the store's image, as frequencies.
#include <cstddef>
#include <cstdint>

#include "image/image.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows) {
    // Integer counts are exact in any visiting order, so walking the store column
    // by column, as it lies in memory, gives the counts that file order would.
    LevelCounts counts = {};
    for (int x = 0; x < columns; ++x)
        count_levels(counts, store + static_cast<size_t>(x) * MAX_SIZE, 1, rows);
    uint64_t total[GREY_LEVELS];
    merge_level_counts(total, counts);
    // Formed in 64 bits: dimensions of any sign cannot overflow. Every valid
    // image has the same N as a 32-bit product; an empty one has no counts, so
    // each frequency is 0/N, a zero or NaN, and no cut can win.
    make_frequencies(histogram, total, static_cast<double>(static_cast<int64_t>(rows) * columns));
}
