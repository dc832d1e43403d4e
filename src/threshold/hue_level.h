// A colour's hue as a level of the 256-level circle, and whether its
// saturation reaches a floor: the one definition that the C library
// (circthresh_hue), the Python module and the page share.
#pragma once

#include <cstddef>
#include <cstdint>

// For count pixels, pixel i's red, green and blue at rgb + i * pixel_step + 0,
// 1 and 2 * channel_step: its hue level into hue[i * hue_step] and, unless
// counted is null, into counted[i * counted_step] 1 where its saturation
// reaches percent (0..100), else 0.
//
// The hue is HSV's, one turn onto 256 levels, from integers and rounded once:
// with top and low the largest and smallest channel and chroma = top - low,
// the largest channel picks the sector (red before green before blue on a
// tie), sixths = (g - b, b - r + 2 chroma or r - g + 4 chroma) mod 6 chroma is
// the hue in sixths of a turn times chroma, and the level is
// round(256 * sixths / (6 * chroma)) half up, 256 being 0 again; grey (chroma
// 0) is level 0. No colour lands on an exact half: 6 * chroma has at most
// seven factors 2, and 512 * sixths nine.
//
// The saturation is HSV's, chroma / top, 0 for black, compared in integers:
// 100 * chroma >= percent * top, so that 25% takes exactly chroma / top >= 1/4.
//
// With the widest vectors the processor running it has, for runs of RGB or
// RGBA pixels, read forwards or backwards, into contiguous outputs.
void hue_run(const uint8_t* rgb, ptrdiff_t channel_step, ptrdiff_t pixel_step, ptrdiff_t count,
             int percent, uint8_t* hue, ptrdiff_t hue_step, uint8_t* counted,
             ptrdiff_t counted_step);

// The ways of computing a run, narrowest first; every one writes the same bytes.
// A build without vector code (CIRCTHRESH_NO_SIMD) has only the portable one.
enum class HuePath { portable, sse2, avx2, avx512 };

// Whether this build has the path and the processor running it can take it.
bool hue_path_supported(HuePath path);

// hue_run on the given path (one this processor supports); the pixels that do
// not fill its blocks, and layouts it does not take, go by the narrower paths.
// For the tests, which compare every path.
void hue_run_with_path(HuePath path, const uint8_t* rgb, ptrdiff_t channel_step,
                       ptrdiff_t pixel_step, ptrdiff_t count, int percent, uint8_t* hue,
                       ptrdiff_t hue_step, uint8_t* counted, ptrdiff_t counted_step);
