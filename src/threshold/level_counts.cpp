// Counting grey levels into four tables, all pixels or the selected ones, and merging them.
#include "threshold/level_counts.h"

#include <cstring>

void count_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride,
                  ptrdiff_t length) {
    // Eight a turn, twice round the tables, written out: with four, an AMD EPYC
    // of the first Zen generation took 65 to 74 ms over 5000 x 5000 against 12,
    // and -O2 does not unroll a loop of eight for us.
    ptrdiff_t i = 0;
    for (; i + 8 <= length; i += 8, run += 8 * stride) {
        ++counts[0][run[0]];
        ++counts[1][run[stride]];
        ++counts[2][run[2 * stride]];
        ++counts[3][run[3 * stride]];
        ++counts[0][run[4 * stride]];
        ++counts[1][run[5 * stride]];
        ++counts[2][run[6 * stride]];
        ++counts[3][run[7 * stride]];
    }
    for (; i < length; ++i, run += stride) ++counts[0][*run];
}

void count_selected_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride,
                           const unsigned char* selection, ptrdiff_t selection_stride,
                           ptrdiff_t length) {
    // Adding 0 or 1 rather than branching: a mask's edges would be mispredicted.
    // Eight a turn, as count_levels.
    ptrdiff_t i = 0;
    for (; i + 8 <= length; i += 8, run += 8 * stride, selection += 8 * selection_stride) {
        counts[0][run[0]] += selection[0] != 0;
        counts[1][run[stride]] += selection[selection_stride] != 0;
        counts[2][run[2 * stride]] += selection[2 * selection_stride] != 0;
        counts[3][run[3 * stride]] += selection[3 * selection_stride] != 0;
        counts[0][run[4 * stride]] += selection[4 * selection_stride] != 0;
        counts[1][run[5 * stride]] += selection[5 * selection_stride] != 0;
        counts[2][run[6 * stride]] += selection[6 * selection_stride] != 0;
        counts[3][run[7 * stride]] += selection[7 * selection_stride] != 0;
    }
    for (; i < length; ++i, run += stride, selection += selection_stride)
        counts[0][*run] += *selection != 0;
}

void count_levels_by_pairs(LevelCounts counts, uint32_t pairs[LEVEL_PAIRS],
                           const unsigned char* run, ptrdiff_t length) {
    // Which byte of a pair comes first does not matter, as a pair counts for
    // both its levels, so each word is read in the machine's own order. Two
    // words a turn: with one, an AMD EPYC of the first Zen generation took
    // 14.1 ms over 5000 x 5000 against 8.7 ms (the least of 15 each).
    ptrdiff_t i = 0;
    const auto count_word = [pairs](const unsigned char* bytes) {
        uint64_t word;
        memcpy(&word, bytes, sizeof word);
        ++pairs[word & 0xffff];
        ++pairs[(word >> 16) & 0xffff];
        ++pairs[(word >> 32) & 0xffff];
        ++pairs[word >> 48];
    };
    for (; i + 16 <= length; i += 16) {
        count_word(run + i);
        count_word(run + i + 8);
    }
    if (i + 8 <= length) count_word(run + i), i += 8;
    count_levels(counts, run + i, 1, length - i);
}

void merge_level_pairs(uint64_t total[GREY_LEVELS], uint32_t pairs[LEVEL_PAIRS]) {
    // Row sums and column sums, each a loop the compiler vectorises: adding
    // every pair to total[second] one at a time took 110 us a table, this 17.
    uint64_t seconds[GREY_LEVELS] = {};
    for (int first = 0; first < GREY_LEVELS; ++first) {
        const uint32_t* row = pairs + first * GREY_LEVELS;
        uint64_t firsts = 0;
        for (int second = 0; second < GREY_LEVELS; ++second) {
            seconds[second] += row[second];
            firsts += row[second];
        }
        total[first] += firsts;
    }
    for (int level = 0; level < GREY_LEVELS; ++level) total[level] += seconds[level];
    memset(pairs, 0, LEVEL_PAIRS * sizeof pairs[0]);
}

uint64_t merge_level_counts(uint64_t total[GREY_LEVELS], const LevelCounts counts) {
    uint64_t pixels = 0;
    for (int level = 0; level < GREY_LEVELS; ++level) {
        total[level] = counts[0][level] + counts[1][level] + counts[2][level] + counts[3][level];
        pixels += total[level];
    }
    return pixels;
}
