// The hue of runs of pixels: the portable loop, and the choice among it and
// the vector kernels (hue_vector.cpp) for each run.
#include "threshold/hue_level.h"

#include <array>
#include <type_traits>

#include "threshold/hue_vector.h"

namespace {

// round(256 * sixths / (6 chroma)) half up is floor(n / (6 chroma)) with n =
// 256 sixths + 3 chroma < 2^19, computed as (n * RECIPROCALS[chroma]) >> 31
// with RECIPROCALS[chroma] = ceil(2^31 / (6 chroma)): a multiplication instead
// of a division per pixel. Exact: the reciprocal is too large by e / (6 chroma
// 2^31) with e < 6 chroma < 2^11, which adds less than n e / (6 chroma 2^31) <
// 1 / (6 chroma) to the quotient, not enough to reach the next integer. Entry
// 0 is 0, so that grey needs no branch. 1 KB, made by the compiler.
constexpr int RECIPROCAL_SHIFT = 31;
constexpr std::array<uint32_t, 256> make_reciprocals() {
    std::array<uint32_t, 256> table = {};
    for (uint64_t chroma = 1; chroma < 256; ++chroma)
        table[chroma] = static_cast<uint32_t>(((uint64_t{1} << RECIPROCAL_SHIFT) + 6 * chroma - 1) /
                                              (6 * chroma));
    return table;
}
constexpr std::array<uint32_t, 256> RECIPROCALS = make_reciprocals();

// The level, 256 being 0 again.
inline uint8_t level_of(int sixths, int chroma) {
    const uint64_t n = static_cast<uint64_t>(256 * sixths + 3 * chroma);
    return static_cast<uint8_t>(((n * RECIPROCALS[chroma]) >> RECIPROCAL_SHIFT) & 255);
}

// Larger and smaller of two channels by arithmetic: compilers make a branch of
// std::max chains, and on a noisy photo it is mispredicted every other pixel.
inline int larger(int a, int b) { return a - ((a - b) & ((a - b) >> 31)); }
inline int smaller(int a, int b) { return b + ((a - b) & ((a - b) >> 31)); }

inline void hue_pixel(const uint8_t* pixel, ptrdiff_t channel_step, int percent, uint8_t* hue,
                      uint8_t* counted) {
    const int r = pixel[0], g = pixel[channel_step], b = pixel[2 * channel_step];
    const int top = larger(larger(r, g), b);
    const int low = smaller(smaller(r, g), b);
    const int chroma = top - low;
    // The sector by masks too (all ones where that channel is the largest).
    const int red_top = -(top == r);
    const int green_top = -(top == g) & ~red_top;
    const int blue_top = ~(red_top | green_top);
    int sixths = (red_top & (g - b)) | (green_top & (b - r + 2 * chroma)) |
                 (blue_top & (r - g + 4 * chroma));
    sixths += (sixths >> 31) & (6 * chroma);  // below 0: once round the circle
    *hue = level_of(sixths, chroma);
    // Black (top 0, chroma 0) compares 0 >= percent: counted only at 0%.
    if (counted) *counted = 100 * chroma >= percent * (top > 0 ? top : 1);
}

// The loop with the steps known to the compiler where they are constants
// (the common layouts below), and read at run time otherwise.
template <typename ChannelStep, typename PixelStep, bool Counted>
void hue_loop(const uint8_t* rgb, ChannelStep channel_step, PixelStep pixel_step, ptrdiff_t count,
              int percent, uint8_t* hue, ptrdiff_t hue_step, uint8_t* counted,
              ptrdiff_t counted_step) {
    for (ptrdiff_t i = 0; i < count; ++i)
        hue_pixel(rgb + i * pixel_step, channel_step, percent, hue + i * hue_step,
                  Counted ? counted + i * counted_step : nullptr);
}

template <ptrdiff_t N>
using Step = std::integral_constant<ptrdiff_t, N>;

template <bool Counted>
void hue_any(const uint8_t* rgb, ptrdiff_t channel_step, ptrdiff_t pixel_step, ptrdiff_t count,
             int percent, uint8_t* hue, ptrdiff_t hue_step, uint8_t* counted,
             ptrdiff_t counted_step) {
    // RGB, RGBA and BGR read backwards (OpenCV's images as img[..., ::-1]),
    // written to contiguous outputs: the layouts of nearly every call.
    if (hue_step == 1 && (!Counted || counted_step == 1)) {
        if (channel_step == 1 && pixel_step == 3)
            return hue_loop<Step<1>, Step<3>, Counted>(rgb, {}, {}, count, percent, hue, 1, counted,
                                                       1);
        if (channel_step == 1 && pixel_step == 4)
            return hue_loop<Step<1>, Step<4>, Counted>(rgb, {}, {}, count, percent, hue, 1, counted,
                                                       1);
        if (channel_step == -1 && pixel_step == 3)
            return hue_loop<Step<-1>, Step<3>, Counted>(rgb, {}, {}, count, percent, hue, 1,
                                                        counted, 1);
    }
    hue_loop<ptrdiff_t, ptrdiff_t, Counted>(rgb, channel_step, pixel_step, count, percent, hue,
                                            hue_step, counted, counted_step);
}

}  // namespace

bool hue_path_supported(HuePath path) {
    switch (path) {
        case HuePath::avx512:
            return hue_avx512_supported();
        case HuePath::avx2:
            return hue_avx2_supported();
        case HuePath::sse2:
            return hue_sse2_supported();
        case HuePath::portable:
            return true;
    }
    return false;
}

void hue_run_with_path(HuePath path, const uint8_t* rgb, ptrdiff_t channel_step,
                       ptrdiff_t pixel_step, ptrdiff_t count, int percent, uint8_t* hue,
                       ptrdiff_t hue_step, uint8_t* counted, ptrdiff_t counted_step) {
    ptrdiff_t done = 0;
    if (path != HuePath::portable && hue_step == 1 && (counted == nullptr || counted_step == 1) &&
        (channel_step == 1 || channel_step == -1) && (pixel_step == 3 || pixel_step == 4)) {
        // Read backwards, a pixel's bytes start two before its red.
        const HueLayout layout = {static_cast<int>(pixel_step), channel_step < 0};
        const uint8_t* base = channel_step < 0 ? rgb - 2 : rgb;
        if (path == HuePath::avx512)
            done = hue_blocks_avx512(base, layout, count, percent, hue, counted);
        else if (path == HuePath::avx2)
            done = hue_blocks_avx2(base, layout, count, percent, hue, counted);
        done += hue_blocks_sse2(base + done * pixel_step, layout, count - done, percent, hue + done,
                                counted != nullptr ? counted + done : nullptr);
    }
    rgb += done * pixel_step, hue += done * hue_step;
    if (counted)
        hue_any<true>(rgb, channel_step, pixel_step, count - done, percent, hue, hue_step,
                      counted + done * counted_step, counted_step);
    else
        hue_any<false>(rgb, channel_step, pixel_step, count - done, percent, hue, hue_step, nullptr,
                       0);
}

void hue_run(const uint8_t* rgb, ptrdiff_t channel_step, ptrdiff_t pixel_step, ptrdiff_t count,
             int percent, uint8_t* hue, ptrdiff_t hue_step, uint8_t* counted,
             ptrdiff_t counted_step) {
    const HuePath widest = hue_path_supported(HuePath::avx512) ? HuePath::avx512
                           : hue_path_supported(HuePath::avx2) ? HuePath::avx2
                           : hue_path_supported(HuePath::sse2) ? HuePath::sse2
                                                               : HuePath::portable;
    hue_run_with_path(widest, rgb, channel_step, pixel_step, count, percent, hue, hue_step, counted,
                      counted_step);
}
