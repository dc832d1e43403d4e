// The command's histogram: the level counts of the store's image, as frequencies.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/image.h"
#include "threshold/level_counts.h"
#include "threshold/threshold.h"

namespace {

// Counting a level costs a load and a store to its counter, and the stores are
// what bounds the count. A large image's columns are counted two neighbouring
// pixels at a time instead, one increment for each pair in a table of every
// pair of levels: half the stores. Neighbours are alike in most images, so the
// pairs met fill a narrow band of the table and stay in the processor's
// nearest cache. Below this size clearing and merging the table would cost
// more than the pairs save.
constexpr int64_t PAIR_COUNT_MIN_PIXELS = int64_t{1} << 20;

// At most 5000 x 5000 / 2 pairs: 32 bits hold any count.
uint32_t pair_counts[GREY_LEVELS * GREY_LEVELS];

// The pairs of one column's first rows - rows % 8 pixels, four to a 64-bit
// word. Which byte of a pair comes first does not matter, as a pair counts for
// both its levels, so the word is read in the machine's own order.
void count_pairs(const unsigned char* column, int rows) {
    for (int y = 0; y + 8 <= rows; y += 8) {
        uint64_t word;
        memcpy(&word, column + y, sizeof word);
        ++pair_counts[word & 0xffff];
        ++pair_counts[(word >> 16) & 0xffff];
        ++pair_counts[(word >> 32) & 0xffff];
        ++pair_counts[word >> 48];
    }
}

// The store's counts through the pair table, the last rows % 8 pixels of each
// column counted one by one.
void count_store_by_pairs(uint64_t total[GREY_LEVELS], const unsigned char* store, int columns,
                          int rows) {
    memset(pair_counts, 0, sizeof pair_counts);
    LevelCounts rest = {};
    const int paired_rows = rows - rows % 8;
    for (int x = 0; x < columns; ++x) {
        const unsigned char* column = store + static_cast<size_t>(x) * MAX_SIZE;
        count_pairs(column, rows);
        count_levels(rest, column + paired_rows, 1, rows - paired_rows);
    }
    merge_level_counts(total, rest);
    for (int first = 0; first < GREY_LEVELS; ++first)
        for (int second = 0; second < GREY_LEVELS; ++second) {
            const uint32_t pairs = pair_counts[first * GREY_LEVELS + second];
            total[first] += pairs;
            total[second] += pairs;
        }
}

}  // namespace

void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows) {
    // Integer counts are exact in any visiting order, so walking the store column
    // by column, as it lies in memory, gives the counts that file order would.
    uint64_t total[GREY_LEVELS];
    if (columns > 0 && rows > 0 && int64_t{columns} * rows >= PAIR_COUNT_MIN_PIXELS) {
        count_store_by_pairs(total, store, columns, rows);
    } else {
        LevelCounts counts = {};
        for (int x = 0; x < columns; ++x)
            count_levels(counts, store + static_cast<size_t>(x) * MAX_SIZE, 1, rows);
        merge_level_counts(total, counts);
    }
    // Formed in 64 bits: dimensions of any sign cannot overflow. Every valid
    // image has the same N as a 32-bit product; an empty one has no counts, so
    // each frequency is 0/N, a zero or NaN, and no cut can win.
    make_frequencies(histogram, total, static_cast<double>(static_cast<int64_t>(rows) * columns));
}
