// The command's histogram: the level counts of the store's image, as frequencies.
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "image/image.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

namespace {

// Clear between runs: every merge clears it. At most 5000 x 5000 / 2 pairs
// come between two merges, far below MAX_PAIRS_PER_MERGE. On a huge page of
// its own, asked for before it is first used, like the store: one page fault
// instead of 64.
alignas(HUGE_PAGE_BYTES) uint32_t level_pairs[HUGE_PAGE_BYTES / sizeof(uint32_t)];
static_assert(LEVEL_PAIRS * sizeof(uint32_t) <= HUGE_PAGE_BYTES, "the pair table fits a huge page");

}  // namespace

void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows) {
    // Integer counts are exact in any visiting order, so walking the store column
    // by column, as it lies in memory, gives the counts that file order would.
    LevelCounts counts = {};
    // In pairs of neighbours (level_counts.h): at 5000 x 5000 that took 4.0 ms
    // against 5.5 (the least of 15 calls each).
    const bool by_pairs = columns > 0 && rows > 0 &&
                          int64_t{columns} * rows >= PAIR_COUNT_MIN_PIXELS;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (by_pairs) madvise(level_pairs, sizeof level_pairs, MADV_HUGEPAGE);
#endif
    for (int x = 0; x < columns; ++x) {
        const unsigned char* column = store + static_cast<size_t>(x) * MAX_SIZE;
        if (by_pairs)
            count_levels_by_pairs(counts, level_pairs, column, rows);
        else
            count_levels(counts, column, 1, rows);
    }
    if (by_pairs) merge_level_pairs(counts[0], level_pairs);
    uint64_t total[GREY_LEVELS];
    merge_level_counts(total, counts);
    // Formed in 64 bits: dimensions of any sign cannot overflow. Every valid
    // image has the same N as a 32-bit product; an empty one has no counts, so
    // each frequency is 0/N, a zero or NaN, and no cut can win.
    make_frequencies(histogram, total, static_cast<double>(static_cast<int64_t>(rows) * columns));
}
