// The circular search on hand-made histograms whose best cut and variance are
// worked out in the comments, and the histogram of small images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "image/image.h"
#include "test_files.h"
#include "threshold/threshold.h"

namespace {

struct Level {
    int level;
    double p;
};

struct SearchCase {
    const char* name;
    std::vector<Level> levels;  // all other levels have frequency 0
    double fill;                // every level starts at this frequency (0 or NaN)
    int threshold;
    const char* printed;  // the variance as the report prints it
};

// A case a row (or two), as the table reads: the formatter would give each field
// of a row that holds a braced list a line of its own.
// clang-format off
const SearchCase SEARCH_CASES[] = {
    // For every t one class is empty, so no cut counts.
    {"one_level", {{77, 1.0}}, 0.0, -1, "900000000000000000000.000000"},
    // t = 0 puts 0 and 255 in classes of one level each: variance 0. From t = 1
    // on the window (t..t+127) is empty.
    {"levels_0_and_255", {{0, 0.5}, {255, 0.5}}, 0.0, 0, "0.000000"},
    // An empty image: every frequency NaN, no variance can win.
    {"all_nan", {}, NAN, -1, "900000000000000000000.000000"},
    // The window is empty up to t = 72; from t = 73 it holds 200 and the
    // complement 210: two single levels, variance 0, exactly, as all sums here
    // are small multiples of 0.5. Later cuts tie and the first stays.
    {"window_empty_at_first", {{200, 0.5}, {210, 0.5}}, 0.0, 73, "0.000000"},
    // 0 and 128 in classes of their own for every t = 0..127, all variance 0:
    // the lowest t wins the tie.
    {"tie_goes_to_lowest", {{0, 0.5}, {128, 0.5}}, 0.0, 0, "0.000000"},
    // Levels 1..4 at 0.25: t = 3 pairs {3, 4} against {1, 2} (at 257, 258),
    // each class 2 * 0.25 * 0.5^2 = 0.125; t = 2 and t = 4 leave three levels
    // together (0.5); every other cut has an empty class.
    {"four_levels", {{1, 0.25}, {2, 0.25}, {3, 0.25}, {4, 0.25}}, 0.0, 3, "0.250000"},
    // The first cut, evaluated directly, is the best. t = 0: the window holds
    // 0 (1/8), 1 (1/4), 3 (1/8): weight 1/2, mean (1/4 + 3/8) / (1/2) = 1.25,
    // spread 1/8 * 1.25^2 + 1/4 * 0.25^2 + 1/8 * 1.75^2 = 0.1953125 + 0.015625
    // + 0.3828125 = 0.59375; the complement 128 and 130 (1/4 each): mean 129,
    // spread 2 * 1/4 * 1^2 = 0.5; together 1.09375. t = 1..3 split one group
    // (hundreds); t = 4..127 make the same two classes again, evaluated from the
    // moments carried, and tie: a first cut scored too high would lose to t = 4,
    // one scored too low would print another number. All sums are exact.
    {"first_cut_best", {{0, 0.125}, {1, 0.25}, {3, 0.125}, {128, 0.25}, {130, 0.25}}, 0.0, 0, "1.093750"},
    // The best cut is later, its classes mostly what the first cut put there, so
    // the first cut's moments carry into it. t = 0: {5, 100} against {130, 250},
    // 2 * 1/4 * 47.5^2 + 2 * 1/4 * 60^2 = 2928.125; 130 joins the window at
    // t = 3 ({5, 100, 130}: worse), 5 leaves it at t = 6 for position 261:
    // {100, 130} against {250, 261}, 2 * 1/4 * 15^2 + 2 * 1/4 * 5.5^2 = 112.5 +
    // 15.125 = 127.625, the same up to t = 100; after that 100 leaves
    // ({130} against {250, 261, 356}: 1698.5) and 250 joins at t = 123 (2928.125).
    {"first_cut_moments_carry", {{5, 0.25}, {100, 0.25}, {130, 0.25}, {250, 0.25}}, 0.0, 6, "127.625000"},
    // An object across the wrap (250 and 5) on a background of 128. Cuts
    // t = 6..122 keep 250 and 5 together at 250 and 261: mean 255.5, spread
    // 2 * 0.25 * 5.5^2 = 15.125, exact in every order. Splitting the object
    // costs far more (t = 0: {5, 128} against {250} gives 2521.5).
    {"object_across_wrap", {{250, 0.25}, {5, 0.25}, {128, 0.5}}, 0.0, 6, "15.125000"},
    // 130 slides into a window that already holds 100, at t = 3: from there to
    // t = 72 the cut is {100, 130} against {200}, 2 * 0.25 * 15^2 = 112.5, and
    // every sum is exact. Before t = 3 the window holds 100 alone against
    // {130, 200} (1225); from t = 73 on 200 joins the window and the other
    // class is empty until 100 leaves it, then {130, 200} against 100 at 356.
    {"level_enters_occupied_window", {{100, 0.25}, {130, 0.25}, {200, 0.5}}, 0.0, 3, "112.500000"},
    // Sixths are not exact in binary. t = 0: {0, 1, 2} against {255}, 0.4667;
    // t = 1: {1, 2} (4/6 * 0.25) against {255, 0 at 256} (2/6 * 0.25), 0.25;
    // t = 2: {2} against {255, 256, 257}, 0.4583. At t = 3 the window's weight
    // is back to exactly 0.0 while its first moment keeps a rounding residue:
    // that cut has one class only and must not count (its spread would be
    // minus infinity), nor must any later one.
    {"window_empties_with_residue", {{0, 1.0 / 6}, {1, 2.0 / 6}, {2, 2.0 / 6}, {255, 1.0 / 6}}, 0.0,
     1, "0.250000"},
    // The mirror image: 128, 129 and 130 join the window holding 127 one by one.
    // t = 1: {127, 128} against {129, 130}, 1/6 + 1/12 = 0.25; at t = 3 the
    // complement's weight is exactly 0.0 again, with a residue in its sums.
    {"complement_empties_with_residue",
     {{127, 2.0 / 6}, {128, 2.0 / 6}, {129, 1.0 / 6}, {130, 1.0 / 6}}, 0.0, 1, "0.250000"},
};
// clang-format on

std::ostream& operator<<(std::ostream& out, const SearchCase& c) { return out << c.name; }

std::string printed(double variance) {
    char text[64];
    snprintf(text, sizeof text, "%f", variance);
    return text;
}

class SearchTest : public testing::TestWithParam<SearchCase> {};

TEST_P(SearchTest, FindsTheCut) {
    const SearchCase& c = GetParam();
    double histogram[GREY_LEVELS];
    for (double& p : histogram) p = c.fill;
    for (const Level& level : c.levels) histogram[level.level] = level.p;
    const ThresholdResult result = find_threshold(histogram);
    EXPECT_EQ(result.threshold, c.threshold);
    EXPECT_EQ(printed(result.variance), c.printed);
}

INSTANTIATE_TEST_SUITE_P(Histograms, SearchTest, testing::ValuesIn(SEARCH_CASES), CaseName());

TEST(Search, LeavesTheHistogramAlone) {
    double histogram[GREY_LEVELS];
    for (int k = 0; k < GREY_LEVELS; ++k) histogram[k] = (k % 7) / 1000.0;
    double before[GREY_LEVELS];
    std::copy(histogram, histogram + GREY_LEVELS, before);
    find_threshold(histogram);
    EXPECT_TRUE(std::equal(histogram, histogram + GREY_LEVELS, before));
}

// Stores a width x height image given in file order (rows) into the store.
void store_rows(const std::vector<int>& rows, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image[x][y] = static_cast<unsigned char>(rows[y * w + x]);
}

TEST(Histogram, DividesCountsByPixelCount) {
    store_rows({7, 7, 9, 7, 9, 200}, 3, 2);
    double histogram[GREY_LEVELS];
    make_histogram(histogram, &image[0][0], 3, 2);
    EXPECT_EQ(histogram[7], 3.0 / 6.0);
    EXPECT_EQ(histogram[9], 2.0 / 6.0);
    EXPECT_EQ(histogram[200], 1.0 / 6.0);
    EXPECT_EQ(histogram[8], 0.0);
    EXPECT_EQ(histogram[0], 0.0);
}

TEST(Histogram, CountsEveryPixelOfTallColumns) {
    // 3 x 9: columns of nine pixels, more than one group of four and a rest of
    // one. Pixel (x, y) has level 10y + x, each level once: every used level
    // has 1/27, all others 0; a pixel counted twice or not at all shows.
    std::vector<int> rows;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 3; ++x) rows.push_back(10 * y + x);
    store_rows(rows, 3, 9);
    double histogram[GREY_LEVELS];
    make_histogram(histogram, &image[0][0], 3, 9);
    for (int level = 0; level < GREY_LEVELS; ++level)
        EXPECT_EQ(histogram[level], level < 90 && level % 10 < 3 ? 1.0 / 27 : 0.0) << level;
}

TEST(Histogram, CountsOnlyTheUsedCorner) {
    image[1][0] = 99;  // outside a 1 x 3 image
    store_rows({5, 5, 6}, 1, 3);
    double histogram[GREY_LEVELS];
    make_histogram(histogram, &image[0][0], 1, 3);
    EXPECT_EQ(histogram[99], 0.0);
    EXPECT_EQ(histogram[5], 2.0 / 3.0);
}

// Images of a million pixels and more are counted two neighbours at a time:
// columns whose length is a multiple of sixteen, of eight or neither,
// neighbours alike or not.
// Each level's frequency must be its count over N, and the bytes just below
// the used rows (level 251, never in the image) must not be counted.
TEST(Histogram, CountsEveryPixelOfLargeImages) {
    const int shapes[][2] = {
        {1024, 1024}, {1021, 1031}, {1019, 1037}, {MAX_SIZE, 213}, {211, MAX_SIZE}};
    unsigned seed = 99;
    for (const auto& shape : shapes) {
        const int columns = shape[0], rows = shape[1];
        std::vector<uint64_t> counts(GREY_LEVELS);
        for (int x = 0; x < columns; ++x) {
            for (int y = 0; y < rows; ++y) {
                seed = seed * 1103515245 + 12345;
                // Half the columns smooth (neighbours a level or two apart), half noise.
                const int level = x % 2 ? (x + y / 64 + static_cast<int>(seed >> 30)) % 250
                                        : static_cast<int>(seed >> 16) % 250;
                image[x][y] = static_cast<unsigned char>(level);
                ++counts[level];
            }
            for (int y = rows; y < rows + 8 && y < MAX_SIZE; ++y) image[x][y] = 251;
        }
        double histogram[GREY_LEVELS];
        make_histogram(histogram, &image[0][0], columns, rows);
        const double pixels = static_cast<double>(columns) * rows;
        for (int level = 0; level < GREY_LEVELS; ++level)
            ASSERT_EQ(histogram[level], static_cast<double>(counts[level]) / pixels)
                << columns << " x " << rows << ", level " << level;
    }
}

TEST(Histogram, EmptyImagesHaveNoCut) {
    // 0 x 4 divides by zero (NaN); -2 x -3 has no pixels but N = 6 (all zero);
    // the most negative sizes must not overflow.
    const int sizes[][2] = {{0, 4}, {4, 0}, {-2, -3}, {-2147483647 - 1, -2147483647 - 1}};
    for (const auto& size : sizes) {
        double histogram[GREY_LEVELS];
        make_histogram(histogram, &image[0][0], size[0], size[1]);
        EXPECT_TRUE(std::isnan(histogram[0]) || histogram[0] == 0.0);
        const ThresholdResult result = find_threshold(histogram);
        EXPECT_EQ(result.threshold, -1) << size[0] << " x " << size[1];
        EXPECT_EQ(result.variance, 9e20);
    }
}

TEST(Binarisation, MapsTheWindowToBlack) {
    // Levels t..t+127 around the circle become 0, the rest 255.
    const int thresholds[] = {0, 100, -1, 127};
    for (int t : thresholds) {
        for (int g = 0; g < GREY_LEVELS; ++g) image[g % 16][g / 16] = static_cast<unsigned char>(g);
        threshold_image(&image[0][0], 16, 16, t);
        for (int g = 0; g < GREY_LEVELS; ++g) {
            const int distance = ((g - t) % 256 + 256) % 256;
            EXPECT_EQ(image[g % 16][g / 16], distance < 128 ? 0 : 255)
                << "t " << t << " level " << g;
        }
    }
}

}  // namespace
