// The streamed transpose: tiles into a buffer that stays in the nearest cache,
// then each of its rows to the destination, the whole lines by non-temporal
// stores. A store into a line not in the cache first reads the line from
// memory; these do not: the store's 25 MB at 5000 x 5000 went in in 3.4 to
// 4.3 ms against 4.4 to 6.6 written in place (medians of 21, in several runs).
#include "image/transpose_streaming.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#define CIRCTHRESH_STREAMED_LINES 1
#include <emmintrin.h>
#endif

namespace {

// Columns a pass through the buffer takes: 128 x 256 bytes, 32 KiB. On an AMD
// EPYC of the Zen 5 family the store's 25 MB went in in 4.2 to 4.3 ms against
// 4.5 to 4.9 with 64 columns (medians of 25); 256 and 512 did no better.
constexpr int BUFFER_COLUMNS = 128;
constexpr int LINE = 64;

// length bytes from from to to: the part before to's first line boundary and
// the part after its last by plain copies, the whole lines between streamed.
void copy_streaming(const unsigned char* from, unsigned char* to, size_t length) {
#if defined(CIRCTHRESH_STREAMED_LINES)
    size_t head = (LINE - reinterpret_cast<uintptr_t>(to) % LINE) % LINE;
    if (head > length) head = length;
    std::memcpy(to, from, head);
    from += head, to += head, length -= head;
    for (; length >= LINE; length -= LINE, from += LINE, to += LINE)
        for (int part = 0; part < LINE; part += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + part),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + part)));
#endif
    std::memcpy(to, from, length);
}

}  // namespace

void transpose_streaming(const TransposeBlock& block) {
    alignas(LINE) unsigned char buffer[BUFFER_COLUMNS * STREAMED_MAX_ROWS];
    const size_t rows = static_cast<size_t>(block.rows);
    for (int c = 0; c < block.columns; c += BUFFER_COLUMNS) {
        const int columns = block.columns - c < BUFFER_COLUMNS ? block.columns - c : BUFFER_COLUMNS;
        transpose({block.src + c, block.src_stride, buffer, rows, block.rows, columns});
        for (int j = 0; j < columns; ++j)
            copy_streaming(buffer + j * rows, block.dst + (c + j) * block.dst_stride, rows);
    }
#if defined(CIRCTHRESH_STREAMED_LINES)
    // Streamed stores are ordered only by a fence: the store is read next.
    _mm_sfence();
#endif
}
