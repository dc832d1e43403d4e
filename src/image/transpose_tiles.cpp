// Transposing a block of bytes in tiles: the SSE2, AVX2 and AVX-512 paths, the
// run-time choice among them and the portable loop they are checked against.
#include "image/transpose_tiles.h"

#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#define CIRCTHRESH_SSE2_TILES 1
#include <emmintrin.h>
#endif
// The wider paths are compiled for their processors function by function and
// chosen at run time, so that one binary runs on any x86-64. With g++ the choice
// reads the features glibc found at start-up: the compiler's own probe,
// __builtin_cpu_supports, asks the processor again in every run, which in a
// virtual machine made a 64 x 64 image's run about a tenth slower. clang++
// rejects glibc's header as C++ (it uses C's _Bool), so there the probe it is.
#if defined(CIRCTHRESH_SSE2_TILES) && defined(__x86_64__) && defined(__GNUC__)
#define CIRCTHRESH_WIDE_TILES 1
#include <immintrin.h>
#if !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define CIRCTHRESH_HAS_AVX512BW (CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW))
#define CIRCTHRESH_HAS_AVX2 CPU_FEATURE_ACTIVE(AVX2)
#else
#define CIRCTHRESH_HAS_AVX512BW (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
#define CIRCTHRESH_HAS_AVX2 __builtin_cpu_supports("avx2")
#endif
#endif

namespace {

// Every tile is 16 source columns wide; its height is the vector width.
constexpr int TILE_COLUMNS = 16;
constexpr int PORTABLE_TILE = NARROWEST_TILE_ROWS;

void transpose_tile_portable(const unsigned char* src, size_t src_stride, unsigned char* dst,
                             size_t dst_stride) {
    transpose_plain(src, src_stride, dst, dst_stride, PORTABLE_TILE, TILE_COLUMNS);
}

#if defined(CIRCTHRESH_SSE2_TILES)
// The vector tiles share one network: sixteen registers, register i starting
// with source row REVERSED[i] (its four bits reversed), then four rounds that
// interleave register i with register i + 8, a byte, a pair, a quad and eight
// bytes at a time, leave destination row j in register j. Each 16-byte lane
// of a wider register is a tile of its own, so an AVX2 register carries 32
// source rows (lane 1 from rows 16..31) and an AVX-512 one 64: 64 shuffles
// move 256, 512 or 1024 bytes, where the portable loop moves one byte at a time.
constexpr int REVERSED[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

__m128i load_lane(const unsigned char* src) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
}

void transpose_tile_sse2(const unsigned char* src, size_t src_stride, unsigned char* dst,
                         size_t dst_stride) {
    __m128i a[16], b[16];
    for (int i = 0; i < 16; ++i) a[i] = load_lane(src + REVERSED[i] * src_stride);
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[i], a[i + 8]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm_unpacklo_epi16(b[i], b[i + 8]);
        a[2 * i + 1] = _mm_unpackhi_epi16(b[i], b[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi32(a[i], a[i + 8]);
        b[2 * i + 1] = _mm_unpackhi_epi32(a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 8]);
        a[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 8]);
    }
    for (int j = 0; j < 16; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j * dst_stride), a[j]);
}
#endif

#if defined(CIRCTHRESH_WIDE_TILES)
__attribute__((target("avx2"))) void transpose_tile_avx2(const unsigned char* src,
                                                         size_t src_stride, unsigned char* dst,
                                                         size_t dst_stride) {
    __m256i a[16], b[16];
    for (int i = 0; i < 16; ++i) {
        const unsigned char* row = src + REVERSED[i] * src_stride;
        a[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(load_lane(row)),
                                       load_lane(row + 16 * src_stride), 1);
    }
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm256_unpacklo_epi8(a[i], a[i + 8]);
        b[2 * i + 1] = _mm256_unpackhi_epi8(a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm256_unpacklo_epi16(b[i], b[i + 8]);
        a[2 * i + 1] = _mm256_unpackhi_epi16(b[i], b[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm256_unpacklo_epi32(a[i], a[i + 8]);
        b[2 * i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 8]);
        a[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 8]);
    }
    for (int j = 0; j < 16; ++j)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j * dst_stride), a[j]);
}

__attribute__((target("avx512f,avx512bw"))) void transpose_tile_avx512(const unsigned char* src,
                                                                       size_t src_stride,
                                                                       unsigned char* dst,
                                                                       size_t dst_stride) {
    __m512i a[16], b[16];
    for (int i = 0; i < 16; ++i) {
        const unsigned char* row = src + REVERSED[i] * src_stride;
        a[i] = _mm512_zextsi128_si512(load_lane(row));
        a[i] = _mm512_inserti32x4(a[i], load_lane(row + 16 * src_stride), 1);
        a[i] = _mm512_inserti32x4(a[i], load_lane(row + 32 * src_stride), 2);
        a[i] = _mm512_inserti32x4(a[i], load_lane(row + 48 * src_stride), 3);
    }
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm512_unpacklo_epi8(a[i], a[i + 8]);
        b[2 * i + 1] = _mm512_unpackhi_epi8(a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm512_unpacklo_epi16(b[i], b[i + 8]);
        a[2 * i + 1] = _mm512_unpackhi_epi16(b[i], b[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm512_maskz_unpacklo_epi32(0xffff, a[i], a[i + 8]);
        b[2 * i + 1] = _mm512_maskz_unpackhi_epi32(0xffff, a[i], a[i + 8]);
    }
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm512_maskz_unpacklo_epi64(0xff, b[i], b[i + 8]);
        a[2 * i + 1] = _mm512_maskz_unpackhi_epi64(0xff, b[i], b[i + 8]);
    }
    for (int j = 0; j < 16; ++j)
        _mm512_storeu_si512(reinterpret_cast<__m512i*>(dst + j * dst_stride), a[j]);
}
#endif

using MoveTile = void (*)(const unsigned char* src, size_t src_stride, unsigned char* dst,
                          size_t dst_stride);

// The full tiles of a rows x columns corner, both multiples of the tile.
template <int TILE_ROWS, MoveTile move_tile>
void transpose_tiles(const unsigned char* src, size_t src_stride, unsigned char* dst,
                     size_t dst_stride, int rows, int columns) {
    for (int r = 0; r < rows; r += TILE_ROWS)
        for (int c = 0; c < columns; c += TILE_COLUMNS)
            move_tile(src + r * src_stride + c, src_stride, dst + c * dst_stride + r, dst_stride);
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

void transpose_plain(const unsigned char* src, size_t src_stride, unsigned char* dst,
                     size_t dst_stride, int src_rows, int src_cols) {
    for (int r = 0; r < src_rows; ++r)
        for (int c = 0; c < src_cols; ++c) dst[c * dst_stride + r] = src[r * src_stride + c];
}

namespace {

// One strip: its full tiles on the given path, the rows below them by the
// narrower paths, the columns right of them byte by byte.
void transpose_part(TransposePath path, const unsigned char* src, size_t src_stride,
                    unsigned char* dst, size_t dst_stride, int src_rows, int src_cols) {
    const int full_rows = src_rows - src_rows % tile_rows(path);
    const int full_cols = src_cols - src_cols % TILE_COLUMNS;
    switch (path) {
#if defined(CIRCTHRESH_WIDE_TILES)
        case TransposePath::avx512:
            transpose_tiles<64, transpose_tile_avx512>(src, src_stride, dst, dst_stride, full_rows,
                                                       full_cols);
            break;
        case TransposePath::avx2:
            transpose_tiles<32, transpose_tile_avx2>(src, src_stride, dst, dst_stride, full_rows,
                                                     full_cols);
            break;
#endif
#if defined(CIRCTHRESH_SSE2_TILES)
        case TransposePath::sse2:
            transpose_tiles<16, transpose_tile_sse2>(src, src_stride, dst, dst_stride, full_rows,
                                                     full_cols);
            break;
#endif
        default:
            transpose_tiles<PORTABLE_TILE, transpose_tile_portable>(
                src, src_stride, dst, dst_stride, full_rows, full_cols);
            break;
    }
    // The ragged edges: the rows below the last full tile by the next narrower
    // path, then the columns right of it byte by byte.
    const unsigned char* rest = src + full_rows * src_stride;
    if (path == TransposePath::portable)
        transpose_plain(rest, src_stride, dst + full_rows, dst_stride, src_rows - full_rows,
                        src_cols);
    else
        transpose_part(static_cast<TransposePath>(static_cast<int>(path) - 1), rest, src_stride,
                       dst + full_rows, dst_stride, src_rows - full_rows, src_cols);
    transpose_plain(src + full_cols, src_stride, dst + full_cols * dst_stride, dst_stride,
                    full_rows, src_cols - full_cols);
}

}  // namespace

void transpose_with_path(TransposePath path, const unsigned char* src, size_t src_stride,
                         unsigned char* dst, size_t dst_stride, int src_rows, int src_cols) {
    // Strips across the long side, walked once, each finished by every path
    // before the next: rows of a block that fill no whole tile of the widest
    // path would otherwise take a second sweep over the store.
    constexpr int STRIP = 64;
    if (src_cols >= src_rows) {
        for (int c = 0; c < src_cols; c += STRIP)
            transpose_part(path, src + c, src_stride, dst + c * dst_stride, dst_stride, src_rows,
                           src_cols - c < STRIP ? src_cols - c : STRIP);
    } else {
        for (int r = 0; r < src_rows; r += STRIP)
            transpose_part(path, src + r * src_stride, src_stride, dst + r, dst_stride,
                           src_rows - r < STRIP ? src_rows - r : STRIP, src_cols);
    }
}

void transpose(const unsigned char* src, size_t src_stride, unsigned char* dst, size_t dst_stride,
               int src_rows, int src_cols) {
    TransposePath widest = TransposePath::avx512;
    while (!transpose_path_supported(widest))
        widest = static_cast<TransposePath>(static_cast<int>(widest) - 1);
    transpose_with_path(widest, src, src_stride, dst, dst_stride, src_rows, src_cols);
}

