// The native twin of bench/web_core_timing.js: the page module's counting,
// search and binarisation (web/circthresh_web.cpp) built with g++ on the C
// library, timed on a PGM's levels already in memory. Run by bench/web_timing.py.
//
// usage: web_core_timing PGM ROUNDS
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "threshold/level_counts.h"

extern "C" {
int web_count(const uint8_t* levels, size_t rows, size_t columns, const uint8_t* counted,
              uint64_t* counts);
int web_count_pairs(const uint8_t* levels, size_t rows, size_t columns, uint32_t* pairs,
                    uint64_t* counts);
void web_merge_pairs(uint32_t* pairs, uint64_t* counts);
int web_cut(const uint64_t* counts, char* report, size_t report_size);
int web_binarise(const uint8_t* levels, size_t rows, size_t columns, int t, uint8_t* mask);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: web_core_timing PGM ROUNDS\n");
        return 2;
    }
    // make_image's one-line header: "P5 width height 255" and one newline.
    FILE* in = fopen(argv[1], "rb");
    int width = 0, height = 0, maximum = 0;
    if (in == nullptr || fscanf(in, "P5 %d %d %d", &width, &height, &maximum) != 3 ||
        getc(in) != '\n') {
        fprintf(stderr, "web_core_timing: cannot read %s\n", argv[1]);
        return 1;
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> levels(pixels);
    // Left uninitialised: untouched, as the page's new mask is.
    std::unique_ptr<uint8_t[]> mask(new uint8_t[pixels]);
    const bool complete = fread(levels.data(), 1, pixels, in) == pixels;
    fclose(in);
    if (!complete) {
        fprintf(stderr, "web_core_timing: %s is short\n", argv[1]);
        return 1;
    }
    char report[64];
    std::vector<double> times;
    for (int round = 0; round < atoi(argv[2]); ++round) {
        const auto started = std::chrono::steady_clock::now();
        uint64_t counts[256] = {0};
        // As the page counts: in pairs from 2^20 pixels, into a table of its own a run.
        if (pixels >= static_cast<size_t>(PAIR_COUNT_MIN_PIXELS)) {
            std::vector<uint32_t> pairs(LEVEL_PAIRS, 0);
            web_count_pairs(levels.data(), height, width, pairs.data(), counts);
            web_merge_pairs(pairs.data(), counts);
        } else {
            web_count(levels.data(), height, width, nullptr, counts);
        }
        web_binarise(levels.data(), height, width, web_cut(counts, report, sizeof report),
                     mask.get());
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
    }
    const double first = times.empty() ? 0.0 : times.front();
    std::sort(times.begin(), times.end());
    for (char* c = report; *c; ++c)
        if (*c == '\n') *c = c[1] ? ' ' : '\0';
    const char* slash = strrchr(argv[1], '/');
    printf("core native (g++, the C library), %s: %s\n", slash ? slash + 1 : argv[1], report);
    // The first round writes into a mask not touched yet, as the page's first run.
    printf("  first %8.1f ms\n", first);
    printf("  run   %8.1f ms (%.1f-%.1f)\n", times[times.size() / 2], times.front(), times.back());
    return 0;
}
