// The passes over the elements of numpy arrays, in plain C++ so that they run
// without Python's global lock, split over threads: counting the levels,
// binarising, and turning angles into levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "array_walk.h"
#include "threshold/threshold.h"

// Each pass asks stop_requested, when given, between its pieces on the calling
// thread (see run_pieces), and once it says true returns early, its output
// unfinished.

// Counts the levels of the pixels, arrays[0] of walk (only those whose byte in
// selection, arrays[1], is not zero, when selection is given) in `threads`
// pieces. Returns the number of pixels counted. Integer counts: the same for
// every number of threads.
uint64_t count_walk_levels(uint64_t total[GREY_LEVELS], const Walk& walk,
                           const unsigned char* pixels, const unsigned char* selection, int threads,
                           const std::function<bool()>& stop_requested = {});

// Writes the binary level of every pixel (arrays[0]) to binary (arrays[1]).
void threshold_walk(unsigned char* binary, const unsigned char* pixels, const Walk& walk,
                    int threshold, int threads, const std::function<bool()>& stop_requested = {});

// Writes rint((angle - offset) * (256 / period)) mod 256 of every angle
// (arrays[0], of type Angle: float or double) to levels (arrays[1]), in double
// precision. Returns false, leaving levels unfinished, at the first angle that
// is not finite.
template <typename Angle>
bool angles_walk_to_levels(unsigned char* levels, const char* angles, const Walk& walk,
                           double period, double offset,
                           const std::function<bool()>& stop_requested = {});
