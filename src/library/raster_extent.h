// The size check every function of the C library makes on an image before it
// touches a byte of it.
#pragma once

#include <cstddef>

// Whether rows x columns bytes, rows stride bytes apart, make an image the
// library can walk: at least one pixel, and every offset from the first byte,
// (rows - 1) * |stride| + columns - 1, representable as a ptrdiff_t, so that
// no row address computation can overflow.
bool raster_fits(size_t rows, size_t columns, ptrdiff_t stride);

// |stride| without the overflow of std::abs on the most negative stride.
size_t stride_magnitude(ptrdiff_t stride);
