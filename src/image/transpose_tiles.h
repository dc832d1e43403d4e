// Transposing a block of bytes in tiles, with the widest vectors the processor
// has: between the file's rows and the store's columns.
#pragma once

#include <cstddef>

// Rows of the narrowest tile (the SSE2 and portable paths); the others take 32
// or 64. Every tile is 16 source columns wide.
constexpr int NARROWEST_TILE_ROWS = 16;

// What a transpose moves: dst[c * dst_stride + r] = src[r * src_stride + c] for
// r < rows, c < columns (the source's rows and columns).
struct TransposeBlock {
    const unsigned char* src;
    size_t src_stride;
    unsigned char* dst;
    size_t dst_stride;
    int rows, columns;
};

// A tiled transpose that walks the long side outermost, so the store is swept
// once, with the widest vectors the processor running it has.
void transpose(const TransposeBlock& block);

// The ways of moving the tiles, narrowest first; every one writes the same bytes.
// Tiles are 16 source columns by 16, 16, 32 or 64 source rows.
enum class TransposePath { portable, sse2, avx2, avx512 };

// Whether this build has the path and the processor running it can take it.
bool transpose_path_supported(TransposePath path);

// transpose() on the given path (one this processor supports); the rows that do
// not fill its tiles go by the next narrower path. For the tests, which compare
// every path.
void transpose_with_path(TransposePath path, const TransposeBlock& block);

// The same, one byte at a time in the obvious order: the reference the tiled
// version is checked against.
void transpose_plain(const TransposeBlock& block);
