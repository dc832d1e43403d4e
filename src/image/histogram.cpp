// The command's level counts: of the store's image, or of the rows as the reader
// meets them; and the histogram of frequencies made from them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "image/image.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

namespace {

// Images this large are counted in pairs of neighbours (level_counts.h); at 5000
// x 5000 that took 4.0 ms against 5.5 (the least of 15 calls each).
constexpr int64_t PAIR_COUNT_MIN_PIXELS = int64_t{1} << 20;

// Clear between counts: every merge clears it. At most 5000 x 5000 / 2 pairs
// come between two merges, far below MAX_PAIRS_PER_MERGE. On a huge page of
// its own, asked for before it is first used, like the store: one page fault
// instead of 64.
alignas(HUGE_PAGE_BYTES) uint32_t level_pairs[HUGE_PAGE_BYTES / sizeof(uint32_t)];
static_assert(LEVEL_PAIRS * sizeof(uint32_t) <= HUGE_PAGE_BYTES, "the pair table fits a huge page");

// The count under way, between start_level_count and finish_level_count.
LevelCounts run_counts;
bool counting_pairs;

}  // namespace

void start_level_count(int columns, int rows) {
    memset(run_counts, 0, sizeof run_counts);
    counting_pairs = columns > 0 && rows > 0 && int64_t{columns} * rows >= PAIR_COUNT_MIN_PIXELS;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (counting_pairs) madvise(level_pairs, sizeof level_pairs, MADV_HUGEPAGE);
#endif
}

void count_level_run(const unsigned char* run, ptrdiff_t length) {
    if (counting_pairs)
        count_levels_by_pairs(run_counts, level_pairs, run, length);
    else
        count_levels(run_counts, run, 1, length);
}

void finish_level_count(uint64_t counts[GREY_LEVELS]) {
    if (counting_pairs) merge_level_pairs(run_counts[0], level_pairs);
    merge_level_counts(counts, run_counts);
}

void make_histogram_of_counts(double histogram[GREY_LEVELS], const uint64_t counts[GREY_LEVELS],
                              int columns, int rows) {
    // Formed in 64 bits: dimensions of any sign cannot overflow. Every valid
    // image has the same N as a 32-bit product; an empty one has no counts, so
    // each frequency is 0/N, a zero or NaN, and no cut can win.
    make_frequencies(histogram, counts, static_cast<double>(static_cast<int64_t>(rows) * columns));
}

void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows) {
    // Integer counts are exact in any visiting order, so walking the store column
    // by column, as it lies in memory, gives the counts that file order would.
    start_level_count(columns, rows);
    for (int x = 0; x < columns; ++x)
        count_level_run(store + static_cast<size_t>(x) * MAX_SIZE, rows);
    uint64_t counts[GREY_LEVELS];
    finish_level_count(counts);
    make_histogram_of_counts(histogram, counts, columns, rows);
}
