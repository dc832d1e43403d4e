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

// The four tables added into one; returns the number of pixels counted.
uint64_t merge_level_counts(uint64_t total[GREY_LEVELS], const LevelCounts counts);
