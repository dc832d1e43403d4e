// Moving the raster between file order (rows) and the column-first store in
// blocks of whole rows, so that files are read and written with a few large calls.
#pragma once

#include <cstddef>
#include <cstdio>

#include "image/transpose_tiles.h"

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
// Its first ROW_BLOCK_BYTES are used; it fills one huge page (raster_blocks.cpp).
extern unsigned char row_block[];

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
