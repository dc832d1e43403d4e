// The exact search for k classes around the circle (see classes_search.h for
// the arithmetic and its order).
#include "threshold/classes_search.h"

#include <cstring>
#include <limits>
#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
#include <emmintrin.h>
#endif

#include "threshold/level_counts.h"

namespace {

constexpr double INFINITE = std::numeric_limits<double>::infinity();

// Running sums of one arc from its first level on; spread() is the value
// classes_search.h defines for the levels added so far.
struct ArcSums {
    bool occupied = false;
    int first_occupied = 0;
    double weight = 0.0, sum1 = 0.0, sum2 = 0.0;

    void add(int position, double p) {
        if (!occupied) {
            if (!(p > 0.0)) return;
            occupied = true;
            first_occupied = position;
        }
        const int d = position - first_occupied;
        weight += p;
        sum1 += static_cast<double>(d) * p;
        sum2 += static_cast<double>(d * d) * p;
    }
    double spread() const { return occupied ? sum2 - (sum1 * sum1) / weight : INFINITE; }
};

void fill_spreads(const double p[GREY_LEVELS], ClassesScratch* scratch) {
    for (int first = 0; first < GREY_LEVELS; ++first) {
        double* row = scratch->spread[first];
        ArcSums sums;
        for (int length = 1; length <= GREY_LEVELS; ++length) {
            const int position = first + length - 1;
            sums.add(position, p[position % GREY_LEVELS]);
            row[(first + length) % GREY_LEVELS] = sums.spread();
        }
    }
}

// The least of row[b] + tail[b] over b = from..to-1. Each sum is rounded on its
// own and a minimum is exact, so the order of the minima cannot change the
// result (no spread is -0 or NaN): SSE2 takes two at a time, in four running
// minima (minpd is exactly "a < b ? a : b"); elsewhere eight plain ones.
double least_sum(const double* row, const double* tail, int from, int to) {
    int b = from;
#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
    __m128d m0 = _mm_set1_pd(INFINITE), m1 = m0, m2 = m0, m3 = m0;
    for (; b + 8 <= to; b += 8) {
        m0 = _mm_min_pd(_mm_add_pd(_mm_loadu_pd(row + b), _mm_loadu_pd(tail + b)), m0);
        m1 = _mm_min_pd(_mm_add_pd(_mm_loadu_pd(row + b + 2), _mm_loadu_pd(tail + b + 2)), m1);
        m2 = _mm_min_pd(_mm_add_pd(_mm_loadu_pd(row + b + 4), _mm_loadu_pd(tail + b + 4)), m2);
        m3 = _mm_min_pd(_mm_add_pd(_mm_loadu_pd(row + b + 6), _mm_loadu_pd(tail + b + 6)), m3);
    }
    double m[8];
    _mm_storeu_pd(m, m0);
    _mm_storeu_pd(m + 2, m1);
    _mm_storeu_pd(m + 4, m2);
    _mm_storeu_pd(m + 6, m3);
#else
    double m[8] = {INFINITE, INFINITE, INFINITE, INFINITE, INFINITE, INFINITE, INFINITE, INFINITE};
    for (; b + 8 <= to; b += 8)
        for (int i = 0; i < 8; ++i) {
            const double value = row[b + i] + tail[b + i];
            m[i] = value < m[i] ? value : m[i];
        }
#endif
    for (; b < to; ++b) {
        const double value = row[b] + tail[b];
        m[0] = value < m[0] ? value : m[0];
    }
    for (int i = 1; i < 8; ++i) m[0] = m[i] < m[0] ? m[i] : m[0];
    return m[0];
}

// tails[j][a] for j = 1..classes-1: the least right-folded variance of j
// classes from cut a to first + 256. Only the cuts a that leave room for the
// classes before and after are filled.
void fill_tails(ClassesScratch* scratch, int first, int classes) {
    double* one = scratch->tails[1];
    for (int a = first + 1; a < GREY_LEVELS; ++a) one[a] = scratch->spread[a][first];
    for (int j = 2; j < classes; ++j) {
        const double* previous = scratch->tails[j - 1];
        double* next = scratch->tails[j];
        for (int a = first + classes - j; a <= GREY_LEVELS - j; ++a)
            next[a] = least_sum(scratch->spread[a], previous, a + 1, GREY_LEVELS - j + 2);
    }
}

// The variance from cut from on, with the next cut at b and j classes after it.
double folded(const ClassesScratch* scratch, int from, int b, int j) {
    return scratch->spread[from][b] + scratch->tails[j][b];
}

// Doubles mapped onto unsigned integers in the same order, for bisection.
uint64_t order_key(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
}
double from_order_key(uint64_t key) {
    const uint64_t bits = (key >> 63) ? key & ~(uint64_t{1} << 63) : ~key;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// The largest x with head + x <= limit (rounded), given that low is one: the
// largest tail a partition may still have. Addition is monotone in x, so
// bisection over the ordered doubles finds it in at most 64 steps.
double largest_tail(double head, double limit, double low) {
    uint64_t yes = order_key(low), no = order_key(INFINITE);
    while (no - yes > 1) {
        const uint64_t middle = yes + (no - yes) / 2;
        if (head + from_order_key(middle) <= limit)
            yes = middle;
        else
            no = middle;
    }
    return from_order_key(yes);
}

}  // namespace

double arc_spread(const double p[GREY_LEVELS], int first, int length) {
    ArcSums sums;
    for (int position = first; position < first + length; ++position)
        sums.add(position, p[position % GREY_LEVELS]);
    return sums.spread();
}

double find_classes(const double p[GREY_LEVELS], int classes, int cuts[], ClassesScratch* scratch) {
    int occupied = 0;
    for (int level = 0; level < GREY_LEVELS; ++level)
        occupied += p[level] > 0.0;  // a NaN (no pixels) is not
    for (int i = 0; i < classes; ++i) cuts[i] = -1;
    if (occupied < classes) return NO_VARIANCE;
    fill_spreads(p, scratch);
    double best = INFINITE;
    int best_first = -1;
    for (int first = 0; first <= GREY_LEVELS - classes; ++first) {
        // With level first-1 empty, cutting there instead gives the same
        // classes, the same bits and smaller cuts.
        if (first > 0 && !(p[first - 1] > 0.0)) continue;
        fill_tails(scratch, first, classes);
        const double value = least_sum(scratch->spread[first], scratch->tails[classes - 1],
                                       first + 1, GREY_LEVELS - classes + 2);
        if (value < best) {
            best = value;
            best_first = first;
        }
    }
    // The smallest cut, one by one: b qualifies when its best tail still rounds
    // to at most limit, the largest value the rest of the sum may take.
    fill_tails(scratch, best_first, classes);
    cuts[0] = best_first;
    double limit = best;
    for (int i = 1; i < classes; ++i) {
        const int from = cuts[i - 1], j = classes - i;
        int b = from + 1;
        while (folded(scratch, from, b, j) > limit) ++b;
        cuts[i] = b;
        limit = largest_tail(scratch->spread[from][b], limit, scratch->tails[j][b]);
    }
    return best;
}

bool classes_of_counts(const uint64_t counts[GREY_LEVELS], int classes, int cuts[],
                       double* variance, ClassesScratch* scratch) {
    double p[GREY_LEVELS];
    if (!frequencies_of_counts(p, counts)) return false;
    *variance = find_classes(p, classes, cuts, scratch);
    return true;
}
