// Transposing into a destination far larger than the caches: a few columns at
// a time through a small buffer, each written out in whole cache lines that
// bypass the caches.
#pragma once

#include "image/transpose_tiles.h"

// The most source rows a streamed block may have.
constexpr int STREAMED_MAX_ROWS = 256;

// transpose() of a block of at most STREAMED_MAX_ROWS rows, the same bytes in
// the destination. Its lines are not in the caches afterwards, so it pays only
// where they would have been evicted before they are read again.
void transpose_streaming(const TransposeBlock& block);
