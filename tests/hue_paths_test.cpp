// The hue's vector paths against the portable loop, bit for bit, on every 8-bit
// colour in runs of ragged lengths, in each layout they take.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "threshold/hue_level.h"

namespace {

struct Layout {
    const char* name;
    int channels;
    bool reversed;  // BGR(A) bytes read from red backwards
    int percent;
    bool counted;
};

TEST(HuePaths, EveryColourMatchesThePortableLoop) {
    const Layout layouts[] = {
        {"RGB, floor 25", 3, false, 25, true},
        {"RGB, no floor", 3, false, 0, false},
        {"RGB, floor 1", 3, false, 1, true},
        {"RGBA, floor 100", 4, false, 100, true},
        {"BGR backwards, floor 0", 3, true, 0, true},
        {"BGRA backwards, floor 67", 4, true, 67, true},
    };
    const ptrdiff_t colours = ptrdiff_t{1} << 24;
    int paths_run = 0;
    for (const HuePath path : {HuePath::sse2, HuePath::avx2, HuePath::avx512}) {
        if (!hue_path_supported(path)) continue;
        ++paths_run;
        for (const Layout& layout : layouts) {
            const int step = layout.channels;
            std::vector<uint8_t> photo(colours * step, 9);
            for (ptrdiff_t c = 0; c < colours; ++c)
                for (int k = 0; k < 3; ++k)
                    photo[c * step + (layout.reversed ? 2 - k : k)] = static_cast<uint8_t>(
                        c >> (16 - 8 * k));
            const ptrdiff_t first = layout.reversed ? 2 : 0,
                            channel_step = layout.reversed ? -1 : 1;
            std::vector<uint8_t> hue(colours, 0xee), counted(colours, 0xee);
            std::vector<uint8_t> plain_hue(hue), plain_counted(counted);
            // Runs of 1 to 300 pixels: whole blocks, blocks cut short and the
            // pixels left for the narrower paths all occur.
            ptrdiff_t start = 0;
            for (int run = 0; start < colours; ++run) {
                ptrdiff_t length = 1 + (run * 7919) % 300;
                if (length > colours - start) length = colours - start;
                for (const HuePath each : {path, HuePath::portable}) {
                    const bool plain = each == HuePath::portable;
                    uint8_t* mask = (plain ? plain_counted : counted).data() + start;
                    hue_run_with_path(each, photo.data() + start * step + first, channel_step, step,
                                      length, layout.percent,
                                      (plain ? plain_hue : hue).data() + start, 1,
                                      layout.counted ? mask : nullptr, 1);
                }
                start += length;
            }
            const std::string name = layout.name + std::string(", path ") +
                                     std::to_string(static_cast<int>(path));
            ASSERT_TRUE(hue == plain_hue) << name;
            ASSERT_TRUE(counted == plain_counted) << name;
        }
    }
#if defined(CIRCTHRESH_NO_SIMD) || !defined(__SSE2__)
    EXPECT_EQ(paths_run, 0);  // the portable build: the loop alone
#else
    EXPECT_GE(paths_run, 1);
#if defined(__x86_64__)
    EXPECT_EQ(hue_path_supported(HuePath::avx2), __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(hue_path_supported(HuePath::avx512),
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"));
#endif
#endif
}

}  // namespace
