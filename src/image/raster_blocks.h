// Moving the raster between file order (rows) and the column-first store in
// blocks of whole rows, so that files are read and written with a few large calls.
#pragma once

#include <cstddef>
#include <cstdio>

#include "image/transpose_tiles.h"

// Size of the one block buffer the reader and the writer share (never at once),
// and the most rows a block takes. A written block of the widest image holds 256
// rows, so the transpose takes runs of 256 bytes from each column of the store.
// Measured at 5000 x 5000 with the AVX-512 tiles, reading and writing alike: 256
// rows took 5% less CPU time than 96 (the size chosen for SSE2 tiles, where 96
// took 7% less than 48), 384 no less than 256.
// The cap keeps the buffer's pages few for narrow images, whose columns are long
// runs anyway.
constexpr int ROW_BLOCK_BYTES = 256 * 5000;
constexpr int MAX_BLOCK_ROWS = 256;
extern unsigned char row_block[ROW_BLOCK_BYTES];

// Reading fills at most half the buffer a block (128 rows of the widest image):
// the kernel copies the file into a block that stays in the processor's second
// level cache (1 MiB here), where the transpose then finds it. Measured at 5000
// x 5000 (medians of 15 runs, the reads and their transposes apart): 11.9 ms
// with 128 rows, 12.6 with 112, 12.7 with 160 and 14.3 with 256. Writing keeps
// the whole buffer: there 256 rows measured fastest.
constexpr int READ_BLOCK_BYTES = ROW_BLOCK_BYTES / 2;

// How many rows of the given width (1..MAX_SIZE) one block of block_bytes (at
// most ROW_BLOCK_BYTES) holds: a multiple of 16, the narrowest tile, so that
// only the image's last block has rows left over for the byte-at-a-time edge
// loop. Writing takes ROW_BLOCK_BYTES, reading READ_BLOCK_BYTES.
int rows_per_block(int row_length, int block_bytes = ROW_BLOCK_BYTES);

// Reads the raster of a columns x rows image from the file's current position
// into the store, a block of rows at a time. False when the file ended, or a
// read failed, before the raster was complete. Nothing to do when either
// dimension is 0 or less.
bool read_row_blocks(FILE* file, unsigned char* store, int columns, int rows);

// Writes the store's columns x rows corner to the file in file order, a block of
// rows at a time. False as soon as a write fails.
bool write_row_blocks(FILE* file, const unsigned char* store, int columns, int rows);
