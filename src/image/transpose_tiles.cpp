// Transposing a block of bytes in tiles: the run-time choice among the vector
// paths (transpose_kernels.cpp), the walk over a block in strips, and the
// portable loop they are checked against.
#include "image/transpose_tiles.h"

#include "image/transpose_kernels.h"

// With g++ the choice reads the features glibc found at start-up: the
// compiler's own probe, __builtin_cpu_supports, asks the processor again in
// every run, which in a virtual machine made a 64 x 64 image's run about a
// tenth slower. clang++ rejects glibc's header as C++ (it uses C's _Bool), so
// there the probe it is.
#if defined(CIRCTHRESH_WIDE_TILES)
#if !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define CIRCTHRESH_HAS_AVX512BW (CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW))
#define CIRCTHRESH_HAS_AVX2 CPU_FEATURE_ACTIVE(AVX2)
#else
#define CIRCTHRESH_HAS_AVX512BW \
    (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
#define CIRCTHRESH_HAS_AVX2 __builtin_cpu_supports("avx2")
#endif
#endif

namespace {

constexpr int PORTABLE_TILE = NARROWEST_TILE_ROWS;

void transpose_tile_portable(const unsigned char* src, size_t src_stride, unsigned char* dst,
                             size_t dst_stride) {
    transpose_plain({src, src_stride, dst, dst_stride, PORTABLE_TILE, TILE_COLUMNS});
}

int tile_rows(TransposePath path) {
    switch (path) {
        case TransposePath::avx512:
            return 64;
        case TransposePath::avx2:
            return 32;
        case TransposePath::sse2:
            return 16;
        case TransposePath::portable:
            break;
    }
    return PORTABLE_TILE;
}

// The count rows of a block from its row first on, and the count columns from
// its column first on.
TransposeBlock rows_of(const TransposeBlock& b, int first, int count) {
    return {
        b.src + first * b.src_stride, b.src_stride, b.dst + first, b.dst_stride, count, b.columns};
}
TransposeBlock columns_of(const TransposeBlock& b, int first, int count) {
    return {b.src + first, b.src_stride, b.dst + first * b.dst_stride, b.dst_stride, b.rows, count};
}

}  // namespace

bool transpose_path_supported(TransposePath path) {
    switch (path) {
#if defined(CIRCTHRESH_WIDE_TILES)
        // Active: the processor has it and the system saves its registers.
        case TransposePath::avx512:
            return CIRCTHRESH_HAS_AVX512BW;
        case TransposePath::avx2:
            return CIRCTHRESH_HAS_AVX2;
#endif
#if defined(CIRCTHRESH_SSE2_TILES)
        case TransposePath::sse2:
            return true;
#endif
        case TransposePath::portable:
            return true;
        default:
            return false;
    }
}

void transpose_plain(const TransposeBlock& b) {
    for (int r = 0; r < b.rows; ++r)
        for (int c = 0; c < b.columns; ++c)
            b.dst[c * b.dst_stride + r] = b.src[r * b.src_stride + c];
}

namespace {

// One strip: its full tiles on the given path, the rows below them by the
// narrower paths, the columns right of them byte by byte.
void transpose_part(TransposePath path, const TransposeBlock& block) {
    const int full_rows = block.rows - block.rows % tile_rows(path);
    const int full_cols = block.columns - block.columns % TILE_COLUMNS;
    const TransposeBlock tiles = rows_of(columns_of(block, 0, full_cols), 0, full_rows);
    switch (path) {
#if defined(CIRCTHRESH_WIDE_TILES)
        case TransposePath::avx512:
            transpose_tiles_avx512(tiles);
            break;
        case TransposePath::avx2:
            transpose_tiles_avx2(tiles);
            break;
#endif
#if defined(CIRCTHRESH_SSE2_TILES)
        case TransposePath::sse2:
            transpose_tiles_sse2(tiles);
            break;
#endif
        default:
            move_tiles<PORTABLE_TILE, transpose_tile_portable>(tiles);
            break;
    }
    // The ragged edges: the rows below the last full tile by the next narrower
    // path, then the columns right of it byte by byte.
    const TransposeBlock rest = rows_of(block, full_rows, block.rows - full_rows);
    if (path == TransposePath::portable)
        transpose_plain(rest);
    else
        transpose_part(static_cast<TransposePath>(static_cast<int>(path) - 1), rest);
    transpose_plain(rows_of(columns_of(block, full_cols, block.columns - full_cols), 0, full_rows));
}

}  // namespace

void transpose_with_path(TransposePath path, const TransposeBlock& block) {
    // Strips across the long side, walked once, each finished by every path
    // before the next: rows of a block that fill no whole tile of the widest
    // path would otherwise take a second sweep over the store.
    constexpr int STRIP = 64;
    if (block.columns >= block.rows) {
        for (int c = 0; c < block.columns; c += STRIP)
            transpose_part(
                path, columns_of(block, c, block.columns - c < STRIP ? block.columns - c : STRIP));
    } else {
        for (int r = 0; r < block.rows; r += STRIP)
            transpose_part(path,
                           rows_of(block, r, block.rows - r < STRIP ? block.rows - r : STRIP));
    }
}

void transpose(const TransposeBlock& block) {
    TransposePath widest = TransposePath::avx512;
    while (!transpose_path_supported(widest))
        widest = static_cast<TransposePath>(static_cast<int>(widest) - 1);
    transpose_with_path(widest, block);
}
