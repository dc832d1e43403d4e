// Moving the raster between file order (rows) and the column-first store in
// blocks of whole rows, so that files are read and written with a few large calls.
#pragma once

#include <cstddef>
#include <cstdio>

// Size of the one block buffer the reader and the writer share (never at once),
// and the most rows a block takes. A block of the widest image holds 256 rows, so
// the transpose writes runs of 256 bytes into each column of the store, and fewer
// lines are left part-written for the next block to fetch again. Measured at
// 5000 x 5000 with the AVX-512 tiles: 256 rows took 5% less CPU time than 96 (the
// size chosen for SSE2 tiles, where 96 took 7% less than 48), 384 no less than 256.
// The cap keeps the buffer's pages few for narrow images, whose columns are long
// runs anyway.
constexpr int ROW_BLOCK_BYTES = 256 * 5000;
constexpr int MAX_BLOCK_ROWS = 256;
extern unsigned char row_block[ROW_BLOCK_BYTES];

// How many rows of the given width (1..MAX_SIZE) one block holds: a multiple of
// 16, the narrowest tile, so that only the image's last block has rows left over
// for the byte-at-a-time edge loop.
int rows_per_block(int row_length);

// Reads the raster of a columns x rows image from the file's current position
// into the store, a block of rows at a time. False when the file ended, or a
// read failed, before the raster was complete. Nothing to do when either
// dimension is 0 or less.
bool read_row_blocks(FILE* file, unsigned char* store, int columns, int rows);

// Writes the store's columns x rows corner to the file in file order, a block of
// rows at a time. False as soon as a write fails.
bool write_row_blocks(FILE* file, const unsigned char* store, int columns, int rows);

// dst[c * dst_stride + r] = src[r * src_stride + c] for r < src_rows, c < src_cols:
// a tiled transpose that walks the long side outermost, so the store is swept once,
// with the widest vectors the processor running it has.
void transpose(const unsigned char* src, size_t src_stride, unsigned char* dst, size_t dst_stride,
               int src_rows, int src_cols);

// The ways of moving the tiles, narrowest first; every one writes the same bytes.
// Tiles are 16 source columns by 16, 16, 32 or 64 source rows.
enum class TransposePath { portable, sse2, avx2, avx512 };

// Whether this build has the path and the processor running it can take it.
bool transpose_path_supported(TransposePath path);

// transpose() on the given path (one this processor supports); the rows that do
// not fill its tiles go by the next narrower path. For the tests, which compare
// every path.
void transpose_with_path(TransposePath path, const unsigned char* src, size_t src_stride,
                         unsigned char* dst, size_t dst_stride, int src_rows, int src_cols);

// The same, one byte at a time in the obvious order: the reference the tiled
// version is checked against.
void transpose_plain(const unsigned char* src, size_t src_stride, unsigned char* dst,
                     size_t dst_stride, int src_rows, int src_cols);
