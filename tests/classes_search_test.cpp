// k classes around the circle: hand-worked histograms, the command's minimum
// for two classes, and an exhaustive search over every partition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "threshold/classes_search.h"
#include "threshold/level_counts.h"

namespace {

struct ClassesCase {
    const char* name;
    std::vector<std::pair<int, uint64_t>> counts;  // level, count; other levels 0
    int classes;
    std::vector<int> cuts;
    double variance;
};

// Every frequency and class mean here is a short binary fraction, so each
// value is exact.
const ClassesCase CLASSES_CASES[] = {
    // Three single levels: spread 0. Class 0 starts at 0 and must stop after
    // 10, class 1 after 20; the smallest such cuts.
    {"three_single_levels", {{10, 1}, {20, 1}, {200, 2}}, 3, {0, 11, 21}, 0.0},
    // {0, 1} and {128, 129}: each 2 x 1/4 x (1/2)^2 = 1/8.
    {"two_pairs", {{0, 1}, {1, 1}, {128, 1}, {129, 1}}, 2, {0, 2}, 0.25},
    // 250 and 5 (at 261) wrap together: 2 x 1/4 x 5.5^2 = 15.125; class 0
    // cannot start before 6 without taking level 5.
    {"pair_across_zero", {{250, 1}, {5, 1}, {100, 2}}, 2, {6, 101}, 15.125},
    // Four quarters 64 apart in three classes: two neighbours share a class,
    // 2 x 1/4 x 32^2 = 512, whichever pair; {128, 192} in the last class gives
    // the smallest cuts.
    {"four_quarters", {{0, 1}, {64, 1}, {128, 1}, {192, 1}}, 3, {0, 1, 65}, 512.0},
    // Fewer occupied levels than classes: no partition.
    {"too_few_levels", {{3, 5}, {9, 1}}, 3, {-1, -1, -1}, 9e20},
    {"no_pixels", {}, 2, {-1, -1}, 9e20},
};

std::vector<uint64_t> table_of(const std::vector<std::pair<int, uint64_t>>& counts) {
    std::vector<uint64_t> table(GREY_LEVELS, 0);
    for (const auto& [level, count] : counts) table[level] = count;
    return table;
}

class ClassesSearch : public testing::TestWithParam<ClassesCase> {};

TEST_P(ClassesSearch, GivesHandWorkedCutsAndTheCommandsMinimumForTwo) {
    const ClassesCase& c = GetParam();
    const std::vector<uint64_t> counts = table_of(c.counts);
    auto scratch = std::make_unique<ClassesScratch>();
    int cuts[MAX_CLASSES];
    double variance = -1.0;
    ASSERT_TRUE(classes_of_counts(counts.data(), c.classes, cuts, &variance, scratch.get()));
    EXPECT_EQ(std::vector<int>(cuts, cuts + c.classes), c.cuts);
    EXPECT_EQ(variance, c.variance);
    ThresholdResult command;
    ASSERT_TRUE(threshold_of_counts(counts.data(), &command));
    if (c.classes == 2) {
        EXPECT_EQ(variance, command.variance);
    }
}

INSTANTIATE_TEST_SUITE_P(HandWorked, ClassesSearch, testing::ValuesIn(CLASSES_CASES),
                         [](const auto& row) { return std::string(row.param.name); });

// Every partition, its value summed from the right with arc_spread's spreads:
// the first cut, then the others from the last down, each tail sum once. On
// equal values the lexicographically smaller cuts are kept.
struct BruteForce {
    std::vector<double> spread;  // [first * 257 + length]
    int classes;
    std::vector<int> cuts, best_cuts;
    double best = std::numeric_limits<double>::infinity();

    void choose(int i, double tail) {  // cuts[i+1..] are chosen, tail is their sum
        if (i == 0) {
            const double value = spread[cuts[0] * 257 + cuts[1] - cuts[0]] + tail;
            if (value < best || (value == best && cuts < best_cuts)) {
                best = value;
                best_cuts = cuts;
            }
            return;
        }
        for (cuts[i] = cuts[0] + i; cuts[i] < cuts[i + 1]; ++cuts[i])
            choose(i - 1, spread[cuts[i] * 257 + cuts[i + 1] - cuts[i]] + tail);
    }
};

double brute_force(const double p[GREY_LEVELS], int classes, std::vector<int>* best_cuts) {
    BruteForce search{
        std::vector<double>(GREY_LEVELS * 257), classes, std::vector<int>(classes + 1), {}};
    for (int a = 0; a < GREY_LEVELS; ++a)
        for (int length = 1; length <= GREY_LEVELS; ++length)
            search.spread[a * 257 + length] = arc_spread(p, a, length);
    std::vector<int>& cuts = search.cuts;
    cuts[classes] = GREY_LEVELS;  // the last cut's bound
    for (cuts[0] = 0; cuts[0] <= GREY_LEVELS - classes; ++cuts[0])
        for (cuts[classes - 1] = cuts[0] + classes - 1; cuts[classes - 1] < GREY_LEVELS;
             ++cuts[classes - 1])  // the last class wraps round to the first cut
            search.choose(
                classes - 2,
                search.spread[cuts[classes - 1] * 257 + GREY_LEVELS + cuts[0] - cuts[classes - 1]]);
    search.best_cuts.resize(classes);
    *best_cuts = search.best_cuts;
    return search.best;
}

// Random histograms, few levels occupied (many exact ties, wrapping classes)
// or all of them (ties by rounding), and one whose smallest cuts need a tail
// above the least that still rounds to the least sum: the search gives the
// brute force's cuts and bits, and for two classes the command's minimum up
// to rounding.
TEST(ClassesSearch, EqualsAnExhaustiveSearch) {
    std::mt19937 random(31);
    auto scratch = std::make_unique<ClassesScratch>();
    for (int round = 0; round < 13; ++round) {
        const int occupied = round < 10 ? 3 + round % 4 : GREY_LEVELS;
        int classes = 2 + round % 2;
        uint64_t counts[GREY_LEVELS] = {};
        for (int i = 0; i < occupied && round < 12; ++i)
            counts[occupied == GREY_LEVELS ? i : random() % GREY_LEVELS] =
                1 + random() % (round % 3 == 0 ? 3 : 1000);
        if (round == 12) {
            classes = 4;
            const std::vector<uint64_t> table = table_of(
                {{92, 3}, {104, 3}, {148, 4}, {155, 1}, {162, 4}, {178, 4}});
            std::copy(table.begin(), table.end(), counts);
        }
        int cuts[MAX_CLASSES];
        double variance;
        ASSERT_TRUE(classes_of_counts(counts, classes, cuts, &variance, scratch.get()));
        uint64_t total = 0;
        for (uint64_t count : counts) total += count;
        double p[GREY_LEVELS];
        make_frequencies(p, counts, static_cast<double>(total));
        std::vector<int> expected;
        EXPECT_EQ(variance, brute_force(p, classes, &expected)) << "round " << round;
        EXPECT_EQ(std::vector<int>(cuts, cuts + classes), expected) << "round " << round;
        if (classes == 2) {
            ThresholdResult command;
            ASSERT_TRUE(threshold_of_counts(counts, &command));
            EXPECT_NEAR(variance, command.variance, 1e-9 * (1.0 + command.variance));
        }
    }
}

}  // namespace
