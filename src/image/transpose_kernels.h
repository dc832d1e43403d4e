// The vector tile moves of the transpose (transpose_kernels.cpp), for the walk
// that picks among them (transpose_tiles.cpp) and nothing else.
#pragma once

#include "image/transpose_tiles.h"

#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#define CIRCTHRESH_SSE2_TILES 1
#endif
// The wider paths are compiled for their processors function by function and
// chosen at run time, so that one binary runs on any x86-64.
#if defined(CIRCTHRESH_SSE2_TILES) && defined(__x86_64__) && defined(__GNUC__)
#define CIRCTHRESH_WIDE_TILES 1
#endif

// Every tile is 16 source columns wide; its height is the vector width.
constexpr int TILE_COLUMNS = 16;

// Moves one tile: 16 source columns by the path's rows, each stride apart.
using MoveTile = void (*)(const unsigned char* src, size_t src_stride, unsigned char* dst,
                          size_t dst_stride);

// How far ahead along its source rows a tile asks for the lines the tiles after
// it will read. The hardware's own prefetch follows few of the many streams a
// row of tiles reads (64 rows, each 5000 bytes from the next): moving the store
// into the block buffer, 25 MB in all, took 2.1 ms with 128 ahead against 3.6
// (the least of 15) on an earlier machine. With 256-row blocks each source
// row holds only four lines, and one line ahead asks for three of them, not
// two: on an AMD EPYC of the Zen 5 family 3.5 to 3.9 ms against 4.3 to 4.5
// with 128 and 6.1 to 6.3 with none (medians of 25).
constexpr int PREFETCH_AHEAD = 64;
constexpr int CACHE_LINE = 64;

// The whole tiles of a block whose sides are multiples of the tile.
template <int TILE_ROWS, MoveTile move_tile>
void move_tiles(const TransposeBlock& b) {
    for (int r = 0; r < b.rows; r += TILE_ROWS)
        for (int c = 0; c < b.columns; c += TILE_COLUMNS) {
#if defined(__GNUC__)
            // Once a line, and only inside the rows.
            if (c % CACHE_LINE == 0 && c + PREFETCH_AHEAD < b.columns)
                for (int i = 0; i < TILE_ROWS; ++i)
                    __builtin_prefetch(b.src + (r + i) * b.src_stride + c + PREFETCH_AHEAD);
#endif
            move_tile(b.src + r * b.src_stride + c, b.src_stride, b.dst + c * b.dst_stride + r,
                      b.dst_stride);
        }
}

// Each moves the whole tiles of a block whose rows and columns are multiples of
// its tile: 16 x 16 (SSE2), 32 x 16 (AVX2) or 64 x 16 (AVX-512BW) source rows by
// columns. The AVX ones only on a processor that has them.
#if defined(CIRCTHRESH_SSE2_TILES)
void transpose_tiles_sse2(const TransposeBlock& block);
#endif
#if defined(CIRCTHRESH_WIDE_TILES)
void transpose_tiles_avx2(const TransposeBlock& block);
void transpose_tiles_avx512(const TransposeBlock& block);
#endif
