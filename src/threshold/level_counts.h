// Counting grey levels: the one pass over the pixels that the histogram needs,
// shared by the command (over its store) and the Python module (over arrays).
#pragma once

#include <cstddef>
#include <cstdint>

#include "threshold/threshold.h"

// Four count tables let consecutive equal pixels go to different counters, so
// the increments do not wait on each other. 64 bits: an array may hold more
// than 2^32 pixels of one level.
constexpr int COUNT_TABLES = 4;
typedef uint64_t LevelCounts[COUNT_TABLES][GREY_LEVELS];

// Adds the levels of length bytes, stride bytes apart from run on, to counts.
void count_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride, ptrdiff_t length);

// The same, counting only the pixels whose byte in the selection run, which
// steps by selection_stride, is not zero.
void count_selected_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride,
                           const unsigned char* selection, ptrdiff_t selection_stride,
                           ptrdiff_t length);

// Counting a level costs a load and a store to its counter, and the stores bound
// the count. Long contiguous runs can be counted two neighbouring pixels at a
// time instead: one increment per pair, in a table of every pair of levels,
// half the stores. Neighbours are alike in most images, so the pairs met fill
// a narrow band of the table and stay in the nearest cache. Measured on 5000 x
// 5000 (medians of 40 counts): the benchmark's image 4.0 ms against 5.6, one
// level throughout 3.5 against 6.9, uniform noise, whose pairs spread over the
// whole table, 6.0 against 6.6. The table is 256 KiB, so clearing and merging
// it pays only over a million pixels or more: the command, the module (each
// thread) and the page count in pairs from PAIR_COUNT_MIN_PIXELS on.
constexpr int LEVEL_PAIRS = GREY_LEVELS * GREY_LEVELS;
constexpr int64_t PAIR_COUNT_MIN_PIXELS = int64_t{1} << 20;

// The most pairs a table may take between merges: each counter is 32 bits.
constexpr uint64_t MAX_PAIRS_PER_MERGE = UINT64_C(0xffffffff);

// Adds the levels of a contiguous run of length bytes: pairs, four to a 64-bit
// word, to pairs, and the last length % 8 levels one by one to counts.
void count_levels_by_pairs(LevelCounts counts, uint32_t pairs[LEVEL_PAIRS],
                           const unsigned char* run, ptrdiff_t length);

// Adds each pair's count to both its levels in total, and clears pairs.
void merge_level_pairs(uint64_t total[GREY_LEVELS], uint32_t pairs[LEVEL_PAIRS]);

// The four tables added into one; returns the number of pixels counted.
uint64_t merge_level_counts(uint64_t total[GREY_LEVELS], const LevelCounts counts);
