// The passes over the pixels of a numpy array, in plain C++ so that they can run
// without Python's global lock: counting the levels and binarising.
#pragma once

#include <cstddef>

#include "threshold/level_counts.h"

// A 2-D array of bytes as numpy describes it: rows first, steps in bytes of any
// sign, so that views and transposes need no copy.
struct ByteArray {
    const unsigned char* data;
    ptrdiff_t shape[2];
    ptrdiff_t strides[2];
};

// The axis to walk innermost: the one with the shorter steps in memory, so that
// every pass reads memory in order whatever the layout.
int inner_axis(const ByteArray& pixels);

// Adds the level of every pixel to counts.
void count_array_levels(LevelCounts counts, const ByteArray& pixels);

// Adds the levels of the pixels whose byte in selection, an array of the same
// shape, is not zero.
void count_selected_array_levels(LevelCounts counts, const ByteArray& pixels,
                                 const ByteArray& selection);

// Writes the binary level of every pixel to binary, which is laid out with
// inner_axis(pixels) contiguous: row-major when it is 1, column-major when 0.
void threshold_array(unsigned char* binary, const ByteArray& pixels, int threshold);
