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
void count_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride,
                  ptrdiff_t length);

// The same, counting only the pixels whose byte in the selection run, which
// steps by selection_stride, is not zero.
void count_selected_levels(LevelCounts counts, const unsigned char* run, ptrdiff_t stride,
                           const unsigned char* selection, ptrdiff_t selection_stride,
                           ptrdiff_t length);

// The four tables added into one; returns the number of pixels counted.
uint64_t merge_level_counts(uint64_t total[GREY_LEVELS], const LevelCounts counts);

// Each count divided by pixels, as doubles: the frequencies the search takes.
// Integer counts are exact in any visiting order, so every walk over the same
// pixels gives the same frequencies to the last bit.
void make_frequencies(double histogram[GREY_LEVELS], const uint64_t total[GREY_LEVELS],
                      double pixels);

// The search on a table of counts, each divided by their sum: for the counts of
// a whole image the command's result, bit for bit. False, with result untouched,
// when the counts add up past 2^64 - 1.
bool threshold_of_counts(const uint64_t counts[GREY_LEVELS], ThresholdResult* result);
