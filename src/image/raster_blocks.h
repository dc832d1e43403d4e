// Moving the raster between file order (rows) and the column-first store in
// blocks of whole rows, so that files are read and written with a few large calls.
#pragma once

#include <cstddef>

// Size of the one block buffer the reader and the writer share (never at once).
constexpr int ROW_BLOCK_BYTES = 1 << 18;
extern unsigned char row_block[ROW_BLOCK_BYTES];

// How many rows of the given width (1..MAX_SIZE) one block holds: at least one.
int rows_per_block(int row_length);

// dst[c * dst_stride + r] = src[r * src_stride + c] for r < src_rows, c < src_cols:
// a tiled transpose that walks the long side outermost, so the store is swept once.
void transpose(const unsigned char* src, size_t src_stride, unsigned char* dst,
               size_t dst_stride, int src_rows, int src_cols);

// The same, one byte at a time in the obvious order: the reference the tiled
// version is checked against.
void transpose_plain(const unsigned char* src, size_t src_stride, unsigned char* dst,
                     size_t dst_stride, int src_rows, int src_cols);

// Asks the kernel to back the first bytes of the store with huge pages, which
// saves thousands of page faults and TLB misses on a large image. Only a hint.
void advise_huge_pages(unsigned char* store, size_t bytes);
