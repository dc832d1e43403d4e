#include "image/raster_blocks.h"

#include "image/image.h"

#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#define CIRCTHRESH_SSE2_TILES 1
#include <emmintrin.h>
#endif

unsigned char row_block[ROW_BLOCK_BYTES];

namespace {

constexpr int TILE = 16;
static_assert(ROW_BLOCK_BYTES / MAX_SIZE >= TILE && MAX_BLOCK_ROWS % TILE == 0,
              "a block holds whole tiles of rows");

#if defined(CIRCTHRESH_SSE2_TILES)
// A 16 x 16 byte transpose in four rounds of unpacking: bytes, then pairs,
// quads and halves: 16 loads, 64 shuffles and 16 stores instead of 256
// single-byte moves.
void transpose_tile(const unsigned char* src, size_t src_stride, unsigned char* dst,
                    size_t dst_stride) {
    __m128i a[16], b[16];
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * src_stride));
    for (int j = 0; j < 8; ++j) {  // b[j]: columns 0..7, b[j + 8]: columns 8..15 of rows 2j, 2j+1
        b[j] = _mm_unpacklo_epi8(a[2 * j], a[2 * j + 1]);
        b[j + 8] = _mm_unpackhi_epi8(a[2 * j], a[2 * j + 1]);
    }
    // Pairs of rows to quads: a[4q + k] holds columns 4q..4q+3 of rows 4k..4k+3.
    for (int set = 0; set < 2; ++set) {  // columns 0..7, then 8..15
        for (int k = 0; k < 4; ++k) {    // rows 4k..4k+3
            const __m128i lo = b[set * 8 + 2 * k], hi = b[set * 8 + 2 * k + 1];
            a[set * 8 + k] = _mm_unpacklo_epi16(lo, hi);      // columns 8*set + 0..3
            a[set * 8 + 4 + k] = _mm_unpackhi_epi16(lo, hi);  // columns 8*set + 4..7
        }
    }
    // Quads of rows to eights.
    for (int q = 0; q < 4; ++q) {
        for (int m = 0; m < 2; ++m) {  // rows 8m..8m+7
            const __m128i lo = a[4 * q + 2 * m], hi = a[4 * q + 2 * m + 1];
            b[4 * q + m] = _mm_unpacklo_epi32(lo, hi);      // columns 4q, 4q+1
            b[4 * q + 2 + m] = _mm_unpackhi_epi32(lo, hi);  // columns 4q+2, 4q+3
        }
    }
    // Eights to whole columns: b[4q + 2p + m] holds columns 4q+2p, 4q+2p+1 of rows 8m..8m+7.
    for (int q = 0; q < 4; ++q) {
        for (int p = 0; p < 2; ++p) {
            const __m128i top = b[4 * q + 2 * p], bottom = b[4 * q + 2 * p + 1];
            int column = 4 * q + 2 * p;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + column * dst_stride),
                             _mm_unpacklo_epi64(top, bottom));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (column + 1) * dst_stride),
                             _mm_unpackhi_epi64(top, bottom));
        }
    }
}
#else
void transpose_tile(const unsigned char* src, size_t src_stride, unsigned char* dst,
                    size_t dst_stride) {
    transpose_plain(src, src_stride, dst, dst_stride, TILE, TILE);
}
#endif

}  // namespace

void transpose_plain(const unsigned char* src, size_t src_stride, unsigned char* dst,
                     size_t dst_stride, int src_rows, int src_cols) {
    for (int r = 0; r < src_rows; ++r)
        for (int c = 0; c < src_cols; ++c) dst[c * dst_stride + r] = src[r * src_stride + c];
}

void transpose(const unsigned char* src, size_t src_stride, unsigned char* dst, size_t dst_stride,
               int src_rows, int src_cols) {
    const int full_rows = src_rows - src_rows % TILE;
    const int full_cols = src_cols - src_cols % TILE;
    auto move_tile = [&](int r, int c) {
        transpose_tile(src + r * src_stride + c, src_stride, dst + c * dst_stride + r, dst_stride);
    };
    if (src_cols >= src_rows) {
        for (int c = 0; c < full_cols; c += TILE)
            for (int r = 0; r < full_rows; r += TILE) move_tile(r, c);
    } else {
        for (int r = 0; r < full_rows; r += TILE)
            for (int c = 0; c < full_cols; c += TILE) move_tile(r, c);
    }
    // The ragged edges: the rows below the last full tile, then the columns right of it.
    transpose_plain(src + full_rows * src_stride, src_stride, dst + full_rows, dst_stride,
                    src_rows - full_rows, src_cols);
    transpose_plain(src + full_cols, src_stride, dst + full_cols * dst_stride, dst_stride,
                    full_rows, src_cols - full_cols);
}

int rows_per_block(int row_length) {
    int rows = ROW_BLOCK_BYTES / row_length;
    if (rows > MAX_BLOCK_ROWS) rows = MAX_BLOCK_ROWS;
    return rows - rows % TILE;
}

namespace {

// The one walk over the raster for reading and writing alike: blocks of whole
// rows from the top, each handed to move_block(first row, rows, bytes); stops
// at the first block that fails.
template <class MoveBlock>
bool walk_row_blocks(int columns, int rows, MoveBlock move_block) {
    if (columns <= 0 || rows <= 0) return true;
    const int block_rows = rows_per_block(columns);
    for (int y = 0; y < rows; y += block_rows) {
        const int block = rows - y < block_rows ? rows - y : block_rows;
        if (!move_block(y, block, static_cast<size_t>(block) * columns)) return false;
    }
    return true;
}

}  // namespace

bool read_row_blocks(FILE* file, unsigned char* store, int columns, int rows) {
    return walk_row_blocks(columns, rows, [&](int y, int block, size_t bytes) {
        if (fread(row_block, 1, bytes, file) != bytes) return false;
        transpose(row_block, columns, store + y, MAX_SIZE, block, columns);
        return true;
    });
}

bool write_row_blocks(FILE* file, const unsigned char* store, int columns, int rows) {
    return walk_row_blocks(columns, rows, [&](int y, int block, size_t bytes) {
        transpose(store + y, MAX_SIZE, row_block, columns, columns, block);
        return fwrite(row_block, 1, bytes, file) == bytes;
    });
}
