// The hue's SSE2, AVX2 and AVX-512 kernels: the portable loop's arithmetic on
// 4 (SSE2) or 16 pixels at once, one per 32-bit lane (AVX2's per 16-bit lane),
// and the probe that says which of them the processor running it can take.
#include "threshold/hue_vector.h"

#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#define CIRCTHRESH_SSE2_HUE 1
#include <emmintrin.h>
#endif
// AVX2 and AVX-512 are compiled function by function and chosen at run time, so that one
// binary runs on any x86-64; the probe reads the features glibc found at
// start-up where it can, as the transposes do.
#if defined(CIRCTHRESH_SSE2_HUE) && defined(__x86_64__) && defined(__GNUC__)
#define CIRCTHRESH_AVX2_HUE 1
#include <immintrin.h>
#if !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define CIRCTHRESH_HUE_HAS_AVX2 CPU_FEATURE_ACTIVE(AVX2)
#define CIRCTHRESH_HUE_HAS_AVX512BW (CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW))
#else
#define CIRCTHRESH_HUE_HAS_AVX2 __builtin_cpu_supports("avx2")
#define CIRCTHRESH_HUE_HAS_AVX512BW \
    (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
#endif
#endif

// The level is floor(n / d), n = 256 sixths + 3 chroma < 2^19 and d = 6 chroma
// < 2^11 (1 for grey, whose n is 0), both exact in single precision. No n / d
// is an integer (no colour lands on an exact half), so each lies at least
// 1 / d >= 1 / 1530 inside the integers around it, and the division's rounding,
// at most 2^-24 of 256 = 2^-16, can carry no quotient across one: truncating
// the rounded quotient gives floor(n / d), the portable loop's level, where a
// vector division costs a few cycles per 8 pixels and a table look-up would
// need a gather per pixel.

namespace {

#if defined(CIRCTHRESH_SSE2_HUE)
constexpr int BLOCK_MARGIN = 2;  // pixels left at a run's end: loads of 16 bytes read past a block

// (mask & a) | (~mask & b): SSE2 has no blend.
inline __m128i select_sse2(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Four pixels' levels (0..256, 256 meaning 0) from their channels, one per
// 32-bit lane, and where each misses the floor (all ones), unless below is
// null. Every value here but n stays below 2^15 with a 32-bit lane's upper half
// 0, so SSE2's 16-bit max, min and multiply serve for the 32-bit ones it lacks.
inline __m128i levels_sse2(__m128i r, __m128i g, __m128i b, __m128i percent, __m128i* below) {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i top = _mm_max_epi16(_mm_max_epi16(r, g), b);
    const __m128i chroma = _mm_sub_epi32(top, _mm_min_epi16(_mm_min_epi16(r, g), b));
    const __m128i two = _mm_add_epi32(chroma, chroma), four = _mm_add_epi32(two, two);
    const __m128i six = _mm_add_epi32(four, two);
    // Blue's sixths, then green's where green is largest, then red's: red
    // before green before blue on a tie.
    __m128i sixths = _mm_add_epi32(_mm_sub_epi32(r, g), four);
    sixths = select_sse2(_mm_cmpeq_epi32(top, g), _mm_add_epi32(_mm_sub_epi32(b, r), two), sixths);
    sixths = select_sse2(_mm_cmpeq_epi32(top, r), _mm_sub_epi32(g, b), sixths);
    sixths = _mm_add_epi32(sixths, _mm_and_si128(_mm_srai_epi32(sixths, 31), six));
    const __m128i n = _mm_add_epi32(_mm_slli_epi32(sixths, 8), _mm_add_epi32(chroma, two));
    if (below != nullptr) {
        const __m128i floor = _mm_mullo_epi16(_mm_max_epi16(top, one), percent);
        *below = _mm_cmpgt_epi32(floor, _mm_mullo_epi16(chroma, _mm_set1_epi32(100)));
    }
    return _mm_cvttps_epi32(
        _mm_div_ps(_mm_cvtepi32_ps(n), _mm_cvtepi32_ps(_mm_max_epi16(six, one))));
}

inline __m128i load_sse2(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 16 bytes as four vectors of 32-bit lanes.
inline void widen_sse2(__m128i bytes, __m128i* lanes) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
    lanes[0] = _mm_unpacklo_epi16(low, zero);
    lanes[1] = _mm_unpackhi_epi16(low, zero);
    lanes[2] = _mm_unpacklo_epi16(high, zero);
    lanes[3] = _mm_unpackhi_epi16(high, zero);
}

// 16 pixels' channels (c = byte 0, 1 or 2 of each) into channels[c][0..3].
template <int STEP>
inline void load_channels_sse2(const uint8_t* p, __m128i (*channels)[4]) {
    if (STEP == 3) {
        // Four rounds of the same interleave take 48 bytes of 3-byte pixels to
        // 16 bytes of each channel: SSE2 has no byte shuffle.
        __m128i t0 = load_sse2(p), t1 = load_sse2(p + 16), t2 = load_sse2(p + 32);
        for (int round = 0; round < 4; ++round) {
            const __m128i u0 = _mm_unpacklo_epi8(t0, _mm_unpackhi_epi64(t1, t1));
            const __m128i u1 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t0, t0), t2);
            const __m128i u2 = _mm_unpacklo_epi8(t1, _mm_unpackhi_epi64(t2, t2));
            t0 = u0, t1 = u1, t2 = u2;
        }
        widen_sse2(t0, channels[0]);
        widen_sse2(t1, channels[1]);
        widen_sse2(t2, channels[2]);
    } else {
        const __m128i low_byte = _mm_set1_epi32(255);
        for (int j = 0; j < 4; ++j) {
            const __m128i pixels = load_sse2(p + 16 * j);
            channels[0][j] = _mm_and_si128(pixels, low_byte);
            channels[1][j] = _mm_and_si128(_mm_srli_epi32(pixels, 8), low_byte);
            channels[2][j] = _mm_and_si128(_mm_srli_epi32(pixels, 16), low_byte);
        }
    }
}

template <int STEP, bool REVERSED, bool COUNTED>
ptrdiff_t blocks_sse2(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                      uint8_t* counted) {
    const __m128i floor_percent = _mm_set1_epi32(percent);
    const __m128i low_byte = _mm_set1_epi16(255);
    ptrdiff_t i = 0;
    for (; i + 16 + BLOCK_MARGIN <= count; i += 16) {
        __m128i channels[3][4], level[4], below[4];
        load_channels_sse2<STEP>(base + i * STEP, channels);
        for (int j = 0; j < 4; ++j)
            level[j] = levels_sse2(channels[REVERSED ? 2 : 0][j], channels[1][j],
                                   channels[REVERSED ? 0 : 2][j], floor_percent,
                                   COUNTED ? &below[j] : nullptr);
        // 256 becomes 0 before the bytes are packed with saturation.
        const __m128i first = _mm_and_si128(_mm_packs_epi32(level[0], level[1]), low_byte);
        const __m128i second = _mm_and_si128(_mm_packs_epi32(level[2], level[3]), low_byte);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(hue + i), _mm_packus_epi16(first, second));
        if (COUNTED) {
            const __m128i miss = _mm_packs_epi16(_mm_packs_epi32(below[0], below[1]),
                                                 _mm_packs_epi32(below[2], below[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(counted + i),
                             _mm_andnot_si128(miss, _mm_set1_epi8(1)));
        }
    }
    return i;
}
#endif

#if defined(CIRCTHRESH_AVX2_HUE)
#define AVX2 __attribute__((target("avx2")))

// levels_sse2 on 16 pixels, one per 16-bit lane: every value but n fits in a
// signed 16-bit lane, so the sector and the floor are worked out on twice the
// pixels a 32-bit lane would take, and only n and 6 chroma go on to 32-bit
// lanes for the division. Lane j of the low (high) result is the pixel in word
// j of the low (high) four words of each 16-byte lane of the inputs; below is
// in the inputs' order.
struct Levels16 {
    __m256i low, high;
};
AVX2 inline Levels16 levels_avx2(__m256i r, __m256i g, __m256i b, __m256i percent, __m256i* below) {
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i top = _mm256_max_epi16(_mm256_max_epi16(r, g), b);
    const __m256i chroma = _mm256_sub_epi16(top, _mm256_min_epi16(_mm256_min_epi16(r, g), b));
    const __m256i two = _mm256_add_epi16(chroma, chroma), four = _mm256_add_epi16(two, two);
    const __m256i six = _mm256_add_epi16(four, two);
    __m256i sixths = _mm256_add_epi16(_mm256_sub_epi16(r, g), four);
    sixths = _mm256_blendv_epi8(sixths, _mm256_add_epi16(_mm256_sub_epi16(b, r), two),
                                _mm256_cmpeq_epi16(top, g));
    sixths = _mm256_blendv_epi8(sixths, _mm256_sub_epi16(g, b), _mm256_cmpeq_epi16(top, r));
    sixths = _mm256_add_epi16(sixths, _mm256_and_si256(_mm256_srai_epi16(sixths, 15), six));
    if (below != nullptr) {
        const __m256i floor = _mm256_mullo_epi16(_mm256_max_epi16(top, one), percent);
        *below = _mm256_cmpgt_epi16(floor, _mm256_mullo_epi16(chroma, _mm256_set1_epi16(100)));
    }
    // n = 256 sixths + 3 chroma by one multiply-add of each (sixths, chroma) pair.
    const __m256i weights = _mm256_set1_epi32(3 << 16 | 256);
    const __m256i divisor = _mm256_max_epi16(six, one), zero = _mm256_setzero_si256();
    const __m256i n_low = _mm256_madd_epi16(_mm256_unpacklo_epi16(sixths, chroma), weights);
    const __m256i n_high = _mm256_madd_epi16(_mm256_unpackhi_epi16(sixths, chroma), weights);
    const __m256 d_low = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(divisor, zero));
    const __m256 d_high = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(divisor, zero));
    return {_mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n_low), d_low)),
            _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n_high), d_high))};
}

// The byte shuffle, for each 16-byte lane of a vector of count bytes, that
// puts byte `offset` of each of the lane's four pixels into the low byte of a
// 32-bit lane, the others zero.
void fill_channel_shuffle(int8_t* bytes, int count, int step, int offset) {
    for (int k = 0; k < count; ++k)
        bytes[k] = static_cast<int8_t>(k % 4 != 0 ? -128 : (k % 16 / 4) * step + offset);
}

// The AVX2 shuffle that puts, in each 16-byte lane, byte `first` of the lane's
// four pixels into its low four 16-bit words and byte `second` into its high
// four, the words' upper bytes zero.
AVX2 __m256i pair_shuffle(int step, int first, int second) {
    alignas(32) int8_t bytes[32];
    for (int k = 0; k < 32; ++k)
        bytes[k] = static_cast<int8_t>(
            k % 2 != 0 ? -128 : (k % 8 / 2) * step + (k % 16 < 8 ? first : second));
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
}

// Eight pixels, 0..3 in the low 16-byte lane and 4..7 in the high one.
template <int STEP>
AVX2 inline __m256i load_pixels_avx2(const uint8_t* p) {
    if (STEP == 4) return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(load_sse2(p)), load_sse2(p + 4 * STEP),
                                   1);
}

template <int STEP, bool REVERSED, bool COUNTED>
AVX2 ptrdiff_t blocks_avx2(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                           uint8_t* counted) {
    const int red = REVERSED ? 2 : 0, blue = REVERSED ? 0 : 2;
    const __m256i red_green = pair_shuffle(STEP, red, 1), blues = pair_shuffle(STEP, blue, blue);
    const __m256i floor_percent = _mm256_set1_epi16(static_cast<int16_t>(percent));
    const __m256i low_byte = _mm256_set1_epi16(255);
    // The packs work within 16-byte lanes; this puts their 4-byte groups in order.
    const __m256i in_order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    ptrdiff_t i = 0;
    for (; i + 32 + BLOCK_MARGIN <= count; i += 32) {
        __m256i level[4], below[2];
        for (int j = 0; j < 2; ++j) {
            // Pixels 16j + (0..3, 8..11 | 4..7, 12..15) in the channels' words,
            // so that the levels come out as 16j..16j+7 and 16j+8..16j+15.
            const uint8_t* p = base + (i + 16 * j) * STEP;
            const __m256i first = load_pixels_avx2<STEP>(p);
            const __m256i second = load_pixels_avx2<STEP>(p + 8 * STEP);
            const __m256i rg_first = _mm256_shuffle_epi8(first, red_green);
            const __m256i rg_second = _mm256_shuffle_epi8(second, red_green);
            const Levels16 levels = levels_avx2(
                _mm256_unpacklo_epi64(rg_first, rg_second),
                _mm256_unpackhi_epi64(rg_first, rg_second),
                _mm256_unpacklo_epi64(_mm256_shuffle_epi8(first, blues),
                                      _mm256_shuffle_epi8(second, blues)),
                floor_percent, COUNTED ? &below[j] : nullptr);
            level[2 * j] = levels.low, level[2 * j + 1] = levels.high;
        }
        const __m256i first = _mm256_and_si256(_mm256_packs_epi32(level[0], level[1]), low_byte);
        const __m256i second = _mm256_and_si256(_mm256_packs_epi32(level[2], level[3]), low_byte);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(hue + i),
            _mm256_permutevar8x32_epi32(_mm256_packus_epi16(first, second), in_order));
        if (COUNTED) {
            const __m256i miss = _mm256_packs_epi16(below[0], below[1]);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(counted + i),
                                _mm256_andnot_si256(_mm256_permutevar8x32_epi32(miss, in_order),
                                                    _mm256_set1_epi8(1)));
        }
    }
    return i;
}
#endif

#if defined(CIRCTHRESH_AVX2_HUE)
#define AVX512 __attribute__((target("avx512f,avx512bw")))
// g++ 12's AVX-512 intrinsics pass an undefined vector where no lane is kept
// from it, and its flow analysis calls that uninitialised (fixed in g++ 13).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// levels_sse2 on 16 pixels in 32-bit lanes, where the floor is a mask of its own.
AVX512 inline __m512i levels_avx512(__m512i r, __m512i g, __m512i b, __m512i percent,
                                    __mmask16* below) {
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i top = _mm512_max_epi32(_mm512_max_epi32(r, g), b);
    const __m512i chroma = _mm512_sub_epi32(top, _mm512_min_epi32(_mm512_min_epi32(r, g), b));
    const __m512i two = _mm512_add_epi32(chroma, chroma), four = _mm512_add_epi32(two, two);
    const __m512i six = _mm512_add_epi32(four, two);
    __m512i sixths = _mm512_add_epi32(_mm512_sub_epi32(r, g), four);
    sixths = _mm512_mask_blend_epi32(_mm512_cmpeq_epi32_mask(top, g), sixths,
                                     _mm512_add_epi32(_mm512_sub_epi32(b, r), two));
    sixths = _mm512_mask_blend_epi32(_mm512_cmpeq_epi32_mask(top, r), sixths,
                                     _mm512_sub_epi32(g, b));
    sixths = _mm512_mask_add_epi32(sixths, _mm512_cmplt_epi32_mask(sixths, _mm512_setzero_si512()),
                                   sixths, six);
    const __m512i n = _mm512_add_epi32(_mm512_slli_epi32(sixths, 8), _mm512_add_epi32(chroma, two));
    if (below != nullptr) {
        const __m512i floor = _mm512_mullo_epi32(_mm512_max_epi32(top, one), percent);
        *below = _mm512_cmpgt_epi32_mask(floor, _mm512_mullo_epi32(chroma, _mm512_set1_epi32(100)));
    }
    return _mm512_cvttps_epi32(
        _mm512_div_ps(_mm512_cvtepi32_ps(n), _mm512_cvtepi32_ps(_mm512_max_epi32(six, one))));
}

// 16 pixels, four to each 16-byte lane as the AVX2 kernel has them: RGBA as
// they lie, RGB spread out by 32-bit words from a load of only its 48 bytes,
// which cannot reach past the run.
template <int STEP>
AVX512 inline __m512i load_pixels_avx512(const uint8_t* p) {
    if (STEP == 4) return _mm512_loadu_si512(p);
    const __m512i spread = _mm512_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0);
    return _mm512_maskz_permutexvar_epi32(0xffff, spread, _mm512_maskz_loadu_epi32(0x0fff, p));
}

template <int STEP>
AVX512 __m512i channel_shuffle_avx512(int offset) {
    alignas(64) int8_t bytes[64];
    fill_channel_shuffle(bytes, 64, STEP, offset);
    return _mm512_load_si512(bytes);
}

template <int STEP, bool REVERSED, bool COUNTED>
AVX512 ptrdiff_t blocks_avx512(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                               uint8_t* counted) {
    const __m512i red = channel_shuffle_avx512<STEP>(REVERSED ? 2 : 0);
    const __m512i green = channel_shuffle_avx512<STEP>(1);
    const __m512i blue = channel_shuffle_avx512<STEP>(REVERSED ? 0 : 2);
    const __m512i floor_percent = _mm512_set1_epi32(percent);
    const __m512i one = _mm512_set1_epi32(1);
    ptrdiff_t i = 0;
    for (; i + 16 + BLOCK_MARGIN <= count; i += 16) {
        const __m512i pixels = load_pixels_avx512<STEP>(base + i * STEP);
        __mmask16 below = 0;
        const __m512i level = levels_avx512(
            _mm512_shuffle_epi8(pixels, red), _mm512_shuffle_epi8(pixels, green),
            _mm512_shuffle_epi8(pixels, blue), floor_percent, COUNTED ? &below : nullptr);
        // Narrowed by truncation: 256 becomes 0.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(hue + i), _mm512_cvtepi32_epi8(level));
        if (COUNTED)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(counted + i),
                             _mm512_cvtepi32_epi8(_mm512_maskz_mov_epi32(~below, one)));
    }
    return i;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// The kernel for the layout, with the steps and the floor's output known to
// the compiler.
template <template <int, bool, bool> class Kernel>
ptrdiff_t blocks_for(HueLayout layout, const uint8_t* base, ptrdiff_t count, int percent,
                     uint8_t* hue, uint8_t* counted) {
    const bool four = layout.step == 4;
    if (counted != nullptr) {
        if (four)
            return layout.reversed
                       ? Kernel<4, true, true>::run(base, count, percent, hue, counted)
                       : Kernel<4, false, true>::run(base, count, percent, hue, counted);
        return layout.reversed ? Kernel<3, true, true>::run(base, count, percent, hue, counted)
                               : Kernel<3, false, true>::run(base, count, percent, hue, counted);
    }
    if (four)
        return layout.reversed ? Kernel<4, true, false>::run(base, count, percent, hue, counted)
                               : Kernel<4, false, false>::run(base, count, percent, hue, counted);
    return layout.reversed ? Kernel<3, true, false>::run(base, count, percent, hue, counted)
                           : Kernel<3, false, false>::run(base, count, percent, hue, counted);
}

#if defined(CIRCTHRESH_SSE2_HUE)
template <int STEP, bool REVERSED, bool COUNTED>
struct Sse2Kernel {
    static ptrdiff_t run(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                         uint8_t* counted) {
        return blocks_sse2<STEP, REVERSED, COUNTED>(base, count, percent, hue, counted);
    }
};
#endif
#if defined(CIRCTHRESH_AVX2_HUE)
template <int STEP, bool REVERSED, bool COUNTED>
struct Avx2Kernel {
    static ptrdiff_t run(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                         uint8_t* counted) {
        return blocks_avx2<STEP, REVERSED, COUNTED>(base, count, percent, hue, counted);
    }
};
template <int STEP, bool REVERSED, bool COUNTED>
struct Avx512Kernel {
    static ptrdiff_t run(const uint8_t* base, ptrdiff_t count, int percent, uint8_t* hue,
                         uint8_t* counted) {
        return blocks_avx512<STEP, REVERSED, COUNTED>(base, count, percent, hue, counted);
    }
};
#endif

}  // namespace

bool hue_sse2_supported() {
#if defined(CIRCTHRESH_SSE2_HUE)
    return true;
#else
    return false;
#endif
}

bool hue_avx2_supported() {
#if defined(CIRCTHRESH_AVX2_HUE)
    // Active: the processor has it and the system saves its registers.
    return CIRCTHRESH_HUE_HAS_AVX2;
#else
    return false;
#endif
}

bool hue_avx512_supported() {
#if defined(CIRCTHRESH_AVX2_HUE)
    return CIRCTHRESH_HUE_HAS_AVX512BW;
#else
    return false;
#endif
}

ptrdiff_t hue_blocks_sse2(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                          uint8_t* hue, uint8_t* counted) {
#if defined(CIRCTHRESH_SSE2_HUE)
    return blocks_for<Sse2Kernel>(layout, base, count, percent, hue, counted);
#else
    (void)base, (void)layout, (void)count, (void)percent, (void)hue, (void)counted;
    return 0;
#endif
}

ptrdiff_t hue_blocks_avx2(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                          uint8_t* hue, uint8_t* counted) {
#if defined(CIRCTHRESH_AVX2_HUE)
    return blocks_for<Avx2Kernel>(layout, base, count, percent, hue, counted);
#else
    (void)base, (void)layout, (void)count, (void)percent, (void)hue, (void)counted;
    return 0;
#endif
}

ptrdiff_t hue_blocks_avx512(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                            uint8_t* hue, uint8_t* counted) {
#if defined(CIRCTHRESH_AVX2_HUE)
    return blocks_for<Avx512Kernel>(layout, base, count, percent, hue, counted);
#else
    (void)base, (void)layout, (void)count, (void)percent, (void)hue, (void)counted;
    return 0;
#endif
}
