// The hue's vector kernels: SSE2, AVX2 and AVX-512 loops over runs of whole pixels in
// the common layouts, written to contiguous outputs, for hue_level.cpp to
// choose among at run time.
#pragma once

#include <cstddef>
#include <cstdint>

// Where a run's channels lie: pixel i's bytes from base + i * step, step 3 or
// 4, red, green and blue in that order, or blue, green and red when reversed
// (a BGR or BGRA photo read backwards, base then at pixel 0's blue byte).
struct HueLayout {
    int step;
    bool reversed;
};

// Whether this build has the kernel and the processor running it can take it.
bool hue_sse2_supported();
bool hue_avx2_supported();
bool hue_avx512_supported();

// The levels (and, unless counted is null, the floor's 0 or 1) of the first
// pixels of a run of count, in blocks of 16 (SSE2 and AVX-512) or 32 (AVX2), into hue[i]
// and counted[i], as hue_run defines them; returns how many pixels were done.
// Blocks stop two pixels short of the run's end, so that no load reaches past
// the last pixel's channels; the caller finishes the run.
ptrdiff_t hue_blocks_sse2(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                          uint8_t* hue, uint8_t* counted);
ptrdiff_t hue_blocks_avx2(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                          uint8_t* hue, uint8_t* counted);
ptrdiff_t hue_blocks_avx512(const uint8_t* base, HueLayout layout, ptrdiff_t count, int percent,
                            uint8_t* hue, uint8_t* counted);
