// k classes around the circle: the cuts of the grey-level circle into k arcs
// whose within-class variance is least, found exactly.
#pragma once

#include <cstdint>

#include "threshold/threshold.h"

// The arithmetic, one order for every caller (the C library, the Python module
// and the page all call find_classes, so all report the same bits):
//
// - Frequencies: p[level] = count / total, each a division, as the command's
//   histogram (make_frequencies).
// - An arc is given by its first level a (0..255) and its length L (1..256): it
//   holds levels a, a+1, ..., a+L-1 counted around the circle. Its spread is
//   the sum over its levels of p * (position - mean)^2, computed as
//   S2 - (S1 * S1) / W, where W, S1 and S2 are the sums of p, d * p and d*d * p
//   over the arc's levels in increasing position, d being the distance from the
//   arc's first occupied level (the first level with a count). Empty levels add
//   exact zeros, so two arcs that hold the same pixels have the same spread to
//   the bit, wherever their ends fall among empty levels and whether or not
//   they wrap past 255: the cost is that of the pixels, not of the cut. An arc
//   that holds no pixels has spread +infinity (no partition may use it).
// - Cuts c0 < c1 < ... < c(k-1) in 0..255 make classes i = arc ci..c(i+1)-1 and
//   the last class c(k-1)..255 followed by 0..c0-1. The variance of a partition
//   is summed from the right: s0 + (s1 + (... + (s(k-2) + s(k-1)))), each
//   addition rounded on its own.
// - The answer is the partition of least variance, so computed, among all
//   partitions; among those of equal least variance, the lexicographically
//   smallest cuts. The search is an exact dynamic program over every
//   partition, not a monotone (Monge) shortcut: rounding can break the
//   monotonicity such shortcuts rely on, and a shortcut could then miss the
//   least computed value. Rounded addition is monotone in each operand, so
//   "best tail, then add" gives the least right-folded sum; the ties are
//   resolved exactly by carrying, cut by cut, the largest tail value that
//   still rounds to the least variance (see find_classes).
//
// Two classes: the least value is, in exact arithmetic, the command's minimum
// (the best two arcs are half-circles). The command sums at absolute positions,
// updated incrementally cut to cut, this search at distances from each class's
// first occupied level, so the two can differ in the last bits; where every
// sum and quotient is exact (frequencies and class means that are short
// binary fractions) they are the same bits. The cuts can differ on ties: any
// cut among empty levels is a tie, and this search gives the smallest.

constexpr int MIN_CLASSES = 2;
constexpr int MAX_CLASSES = 16;

// Work space of the search, 544 KiB: callers keep it off small stacks.
// spread[a][e] is the spread of the arc from level a to end e (its last level
// is e-1 counted around the circle; e <= a means it wraps past 255, e == a is
// the whole circle). tails[j][b] is the least variance of j classes from cut b
// to the first cut, one turn on.
struct ClassesScratch {
    double spread[GREY_LEVELS][GREY_LEVELS];
    double tails[MAX_CLASSES][GREY_LEVELS];
};

// The spread of one arc, summed in the order above: levels first..first+length-1.
double arc_spread(const double p[GREY_LEVELS], int first, int length);

// The best partition of the frequencies p into classes (2..16) arcs: its
// variance, and cuts[0..classes-1]; with fewer occupied levels than classes,
// NO_VARIANCE and every cut -1. scratch is work space, overwritten.
double find_classes(const double p[GREY_LEVELS], int classes, int cuts[], ClassesScratch* scratch);

// The same on counts, each divided by their total. False, writing nothing,
// when the counts add up past 2^64 - 1.
bool classes_of_counts(const uint64_t counts[GREY_LEVELS], int classes, int cuts[],
                       double* variance, ClassesScratch* scratch);

// The class of level under cuts (strictly increasing, classes of them): i for
// ci <= level < c(i+1), the last class for the rest.
inline int class_of_level(int level, const int cuts[], int classes) {
    int index = classes - 1;
    for (int i = 0; i + 1 < classes; ++i)
        if (level >= cuts[i] && level < cuts[i + 1]) index = i;
    return index;
}
