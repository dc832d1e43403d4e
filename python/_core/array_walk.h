// Walking numpy arrays of one shape, any number of axes and any strides, in
// runs along the axis with the shortest steps, so that views, transposes and
// stacks are read in place and in memory order.
#pragma once

#include <cstddef>
#include <vector>

// At most two arrays walk together: the pixels and a mask, or an input and the
// output written in the walk's order.
constexpr int MAX_WALKED_ARRAYS = 2;

// The axes of a walk, outermost first. Axes of length 1 are dropped and
// neighbours that step evenly in every array are merged into one, so that a
// contiguous block of any shape is one long run.
struct Walk {
    int arrays;
    std::vector<ptrdiff_t> shape;
    std::vector<ptrdiff_t> strides[MAX_WALKED_ARRAYS];  // bytes, per axis of shape
    ptrdiff_t elements;
};

// The axes of an array, outermost first as a walk takes them: longest steps
// outermost; steps of 0 (broadcast axes) outermost of all, so the same memory
// is read again while it is still in the cache.
std::vector<int> walk_order(const std::vector<ptrdiff_t>& strides);

// The byte strides of a new uint8 array of the given shape laid out in the
// order a walk takes an array of the given strides, so that a pass reads the
// one and writes the other in memory order.
std::vector<ptrdiff_t> strides_walked_like(const std::vector<ptrdiff_t>& shape,
                                           const std::vector<ptrdiff_t>& strides);

// The walk over arrays of the given shape; strides[0] decides the order.
Walk plan_walk(const std::vector<ptrdiff_t>& shape,
               const std::vector<std::vector<ptrdiff_t>>& strides);

// Calls on_run(offsets, steps, length) for each run of the elements begin..end
// (counted in walk order): offsets are the byte offsets of the run's first
// element in each array, steps the byte steps along it.
template <typename OnRun>
void walk_runs(const Walk& walk, ptrdiff_t begin, ptrdiff_t end, OnRun on_run) {
    if (begin >= end) return;
    const size_t inner = walk.shape.size() - 1;
    const ptrdiff_t run_length = walk.shape[inner];
    ptrdiff_t steps[MAX_WALKED_ARRAYS] = {};
    ptrdiff_t offsets[MAX_WALKED_ARRAYS] = {};
    std::vector<ptrdiff_t> index(inner);
    ptrdiff_t rest = begin / run_length;
    for (size_t axis = inner; axis-- > 0;) {
        index[axis] = rest % walk.shape[axis];
        rest /= walk.shape[axis];
    }
    for (int a = 0; a < walk.arrays; ++a) {
        steps[a] = walk.strides[a][inner];
        for (size_t axis = 0; axis < inner; ++axis)
            offsets[a] += index[axis] * walk.strides[a][axis];
    }
    ptrdiff_t column = begin % run_length;
    while (begin < end) {
        const ptrdiff_t length = run_length - column < end - begin ? run_length - column
                                                                   : end - begin;
        ptrdiff_t starts[MAX_WALKED_ARRAYS] = {};
        for (int a = 0; a < walk.arrays; ++a) starts[a] = offsets[a] + column * steps[a];
        on_run(starts, steps, length);
        begin += length;
        column = 0;
        // The next run: an odometer over the outer axes.
        for (size_t axis = inner; axis-- > 0;) {
            for (int a = 0; a < walk.arrays; ++a) offsets[a] += walk.strides[a][axis];
            if (++index[axis] < walk.shape[axis]) break;
            for (int a = 0; a < walk.arrays; ++a)
                offsets[a] -= walk.shape[axis] * walk.strides[a][axis];
            index[axis] = 0;
        }
    }
}
