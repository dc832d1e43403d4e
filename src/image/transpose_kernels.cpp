// The transpose's vector tile moves: SSE2, AVX2 and AVX-512BW, each over the
// whole tiles of a block, all three from one shuffle network.
#include "image/transpose_kernels.h"

#if defined(CIRCTHRESH_SSE2_TILES)
#include <emmintrin.h>
#endif
#if defined(CIRCTHRESH_WIDE_TILES)
#include <immintrin.h>
#endif

namespace {

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

}  // namespace

#if defined(CIRCTHRESH_SSE2_TILES)
void transpose_tiles_sse2(const TransposeBlock& block) {
    move_tiles<16, transpose_tile_sse2>(block);
}
#endif
#if defined(CIRCTHRESH_WIDE_TILES)
void transpose_tiles_avx2(const TransposeBlock& block) {
    move_tiles<32, transpose_tile_avx2>(block);
}
void transpose_tiles_avx512(const TransposeBlock& block) {
    move_tiles<64, transpose_tile_avx512>(block);
}
#endif
