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

// Whether two images' address ranges, from the lowest byte of their lowest row
// to the last byte of their highest row, share a byte. Both must fit
// (raster_fits). Compared as integers: pointers into different objects may not
// be compared with < in C++.
bool rasters_overlap(const void* a, size_t rows, size_t columns, ptrdiff_t a_stride, const void* b,
                     ptrdiff_t b_stride);
