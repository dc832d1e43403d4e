// The module's passes over numpy arrays: counting, binarising and angles to levels, on threads.
#include "array_passes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "threshold/binary_level.h"
#include "threshold/level_counts.h"
#include "walk_pieces.h"

namespace {

void threshold_run(unsigned char* binary, ptrdiff_t binary_step, const unsigned char* run,
                   ptrdiff_t stride, ptrdiff_t length, int threshold) {
    // Contiguous runs, the common case, get a loop the compiler can vectorise.
    if (stride == 1 && binary_step == 1) {
        for (ptrdiff_t i = 0; i < length; ++i) binary[i] = binary_level(run[i], threshold);
    } else {
        for (ptrdiff_t i = 0; i < length; ++i)
            binary[i * binary_step] = binary_level(run[i * stride], threshold);
    }
}

// Each thread counting PAIR_COUNT_MIN_PIXELS or more, of an array whose runs
// are contiguous, counts them in pairs of neighbours (level_counts.h): 5000 x
// 5000 on one thread took 4.6 ms that way against 6.4 (medians of 25 calls). A
// 2000 x 2000 chunk on two threads took 0.54 ms against 0.88 with the line at
// 2^21, and 1400 x 1400 on one 0.33 against 0.53.
// Runs shorter than this go pixel by pixel: too few whole words.
constexpr ptrdiff_t PAIR_COUNT_MIN_RUN = 64;

// The pair tables of a pass's threads, cleared, in one block on huge pages
// where the system gives them: 256 KiB a thread in small pages took 64 page
// faults each, which in a virtual machine cost more than the pairs saved.
struct FreeTables {
    void operator()(uint32_t* tables) const { std::free(tables); }
};
using PairTables = std::unique_ptr<uint32_t[], FreeTables>;

PairTables make_pair_tables(int workers) {
    constexpr size_t HUGE_PAGE = size_t{2} << 20;
    const size_t used = static_cast<size_t>(workers) * LEVEL_PAIRS * sizeof(uint32_t);
    const size_t bytes = (used + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    PairTables tables(static_cast<uint32_t*>(std::aligned_alloc(HUGE_PAGE, bytes)));
    if (!tables) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(tables.get(), bytes, MADV_HUGEPAGE);
#endif
    std::memset(tables.get(), 0, used);
    return tables;
}

// Asks for the cache lines of the run ahead bytes after this one, while this
// one is read. A view's rows are short runs apart, each a new stream the
// hardware looks ahead in too late: chunks of 2000 x 2000 in an array 6600
// wide took twice the time of the same chunks contiguous. The address is
// worked out as a number: past the last run it points outside the array, which
// a prefetch may do and a pointer may not.
void prefetch_run(const unsigned char* run, ptrdiff_t ahead, ptrdiff_t length) {
    constexpr ptrdiff_t LINE = 64, MOST = 4096;
    const uintptr_t next = reinterpret_cast<uintptr_t>(run) + static_cast<uintptr_t>(ahead);
    for (ptrdiff_t at = 0; at < length && at < MOST; at += LINE)
        __builtin_prefetch(reinterpret_cast<const void*>(next + static_cast<uintptr_t>(at)));
}

// How far after a run the next one most often starts, in a view of a wider
// array whose runs are contiguous; 0 where there is nothing to ask for.
ptrdiff_t next_run_of(const Walk& walk) {
    const size_t inner = walk.shape.size() - 1;
    return inner > 0 && walk.strides[0][inner] == 1 ? walk.strides[0][inner - 1] : 0;
}

}  // namespace

uint64_t count_walk_levels(uint64_t total[GREY_LEVELS], const Walk& walk,
                           const unsigned char* pixels, const unsigned char* selection, int threads,
                           const std::function<bool()>& stop_requested) {
    // One set of count tables per thread, merged at the end: no sharing while
    // counting, and integer sums, the same whichever thread counted what.
    const size_t inner = walk.shape.size() - 1;
    const bool pairs_possible = selection == nullptr && walk.strides[0][inner] == 1 &&
                                walk.shape[inner] >= PAIR_COUNT_MIN_RUN;
    int workers = workers_for(walk, threads);
    // Fewer threads that count in pairs beat more that cannot: 1400 x 1400 took
    // 0.33 ms on one thread against 0.49 on two.
    if (pairs_possible && walk.elements / workers < PAIR_COUNT_MIN_PIXELS)
        workers = std::max(1, static_cast<int>(walk.elements / PAIR_COUNT_MIN_PIXELS));
    const bool by_pairs = pairs_possible && walk.elements / workers >= PAIR_COUNT_MIN_PIXELS;
    std::vector<uint64_t> tables(static_cast<size_t>(workers) * COUNT_TABLES * GREY_LEVELS, 0);
    const auto counts_of = [&](int worker) {
        return reinterpret_cast<uint64_t(*)[GREY_LEVELS]>(tables.data() +
                                                          worker * COUNT_TABLES * GREY_LEVELS);
    };
    // A pair table per thread, and the pairs it took since its last merge.
    const PairTables pair_tables = by_pairs ? make_pair_tables(workers) : PairTables();
    std::vector<uint64_t> pairs_taken(workers, 0);
    const ptrdiff_t next_run = next_run_of(walk);
    walk_in_pieces(walk, workers, stop_requested, [&](int worker, ptrdiff_t begin, ptrdiff_t end) {
        uint64_t(*counts)[GREY_LEVELS] = counts_of(worker);
        uint32_t* pairs = by_pairs ? pair_tables.get() + worker * LEVEL_PAIRS : nullptr;
        // A piece takes fewer pairs than it has pixels: merged before a counter could overflow.
        if (pairs && pairs_taken[worker] + (end - begin) > MAX_PAIRS_PER_MERGE) {
            merge_level_pairs(counts[0], pairs);
            pairs_taken[worker] = 0;
        }
        if (pairs) pairs_taken[worker] += end - begin;
        walk_runs(walk, begin, end,
                  [&](const ptrdiff_t* offsets, const ptrdiff_t* steps, ptrdiff_t length) {
                      if (selection)
                          count_selected_levels(counts, pixels + offsets[0], steps[0],
                                                selection + offsets[1], steps[1], length);
                      else if (pairs) {
                          if (next_run) prefetch_run(pixels + offsets[0], next_run, length);
                          count_levels_by_pairs(counts, pairs, pixels + offsets[0], length);
                      } else
                          count_levels(counts, pixels + offsets[0], steps[0], length);
                  });
    });
    for (int worker = 0; by_pairs && worker < workers; ++worker)
        merge_level_pairs(counts_of(worker)[0], pair_tables.get() + worker * LEVEL_PAIRS);
    uint64_t counted = merge_level_counts(total, counts_of(0));
    for (int worker = 1; worker < workers; ++worker) {
        uint64_t part[GREY_LEVELS];
        counted += merge_level_counts(part, counts_of(worker));
        for (int level = 0; level < GREY_LEVELS; ++level) total[level] += part[level];
    }
    return counted;
}

void threshold_walk(unsigned char* binary, const unsigned char* pixels, const Walk& walk,
                    int threshold, int threads, const std::function<bool()>& stop_requested) {
    const ptrdiff_t next_run = next_run_of(walk);
    walk_in_pieces(
        walk, workers_for(walk, threads), stop_requested, [&](int, ptrdiff_t begin, ptrdiff_t end) {
            walk_runs(walk, begin, end,
                      [&](const ptrdiff_t* offsets, const ptrdiff_t* steps, ptrdiff_t length) {
                          if (next_run) prefetch_run(pixels + offsets[0], next_run, length);
                          threshold_run(binary + offsets[1], steps[1], pixels + offsets[0],
                                        steps[0], length, threshold);
                      });
        });
}

template <typename Angle>
bool angles_walk_to_levels(unsigned char* levels, const char* angles, const Walk& walk,
                           double period, double offset,
                           const std::function<bool()>& stop_requested) {
    // One factor, as the angle recipe of docs/recipes.md multiplies by 256 / period.
    const double scale = 256.0 / period;
    bool finite = true;
    // One thread, in pieces only so that it can be stopped between them.
    walk_in_pieces(walk, 1, stop_requested, [&](int, ptrdiff_t begin, ptrdiff_t end) {
        walk_runs(walk, begin, end,
                  [&](const ptrdiff_t* offsets, const ptrdiff_t* steps, ptrdiff_t length) {
                      for (ptrdiff_t i = 0; finite && i < length; ++i) {
                          // Copied out: a view into a byte buffer may be unaligned.
                          Angle value;
                          std::memcpy(&value, angles + offsets[0] + i * steps[0], sizeof value);
                          const double angle = static_cast<double>(value);
                          const double scaled = (angle - offset) * scale;
                          // A NaN or an infinity has no level; it would be undefined as a byte.
                          finite = std::isfinite(scaled);
                          if (!finite) break;
                          // fmod is exact, so even huge values land on the right level.
                          double level = std::fmod(std::rint(scaled), 256.0);
                          if (level < 0) level += 256.0;
                          levels[offsets[1] + i * steps[1]] = static_cast<unsigned char>(level);
                      }
                  });
    });
    return finite;
}

template bool angles_walk_to_levels<float>(unsigned char*, const char*, const Walk&, double, double,
                                           const std::function<bool()>&);
template bool angles_walk_to_levels<double>(unsigned char*, const char*, const Walk&, double,
                                            double, const std::function<bool()>&);
