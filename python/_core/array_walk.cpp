// The order in which a pass walks an array's axes, shortest steps innermost, and
// the plan of a walk over arrays of one shape.
#include "array_walk.h"

#include <algorithm>
#include <cstdlib>

std::vector<int> walk_order(const std::vector<ptrdiff_t>& strides) {
    std::vector<int> order(strides.size());
    for (size_t axis = 0; axis < order.size(); ++axis) order[axis] = static_cast<int>(axis);
    const auto outer_first = [&](int a, int b) {
        const ptrdiff_t step_a = std::abs(strides[a]);
        const ptrdiff_t step_b = std::abs(strides[b]);
        if ((step_a == 0) != (step_b == 0)) return step_a == 0;
        return step_a > step_b;
    };
    // Stable: equal steps keep numpy's order, the last axis innermost.
    std::stable_sort(order.begin(), order.end(), outer_first);
    return order;
}

std::vector<ptrdiff_t> strides_walked_like(const std::vector<ptrdiff_t>& shape,
                                           const std::vector<ptrdiff_t>& strides) {
    std::vector<ptrdiff_t> walked(shape.size());
    const std::vector<int> order = walk_order(strides);
    ptrdiff_t step = 1;
    for (size_t i = order.size(); i-- > 0;) {
        walked[order[i]] = step;
        step *= shape[order[i]] > 0 ? shape[order[i]] : 1;
    }
    return walked;
}

Walk plan_walk(const std::vector<ptrdiff_t>& shape,
               const std::vector<std::vector<ptrdiff_t>>& strides) {
    Walk walk;
    walk.arrays = static_cast<int>(strides.size());
    walk.elements = 1;
    for (ptrdiff_t length : shape) walk.elements *= length;
    for (int axis : walk_order(strides[0])) {
        if (shape[axis] == 1) continue;
        const size_t last = walk.shape.size();
        bool merges = last > 0;
        for (int a = 0; merges && a < walk.arrays; ++a)
            merges = walk.strides[a][last - 1] == strides[a][axis] * shape[axis];
        if (merges) {
            walk.shape[last - 1] *= shape[axis];
            for (int a = 0; a < walk.arrays; ++a) walk.strides[a][last - 1] = strides[a][axis];
            continue;
        }
        walk.shape.push_back(shape[axis]);
        for (int a = 0; a < walk.arrays; ++a) walk.strides[a].push_back(strides[a][axis]);
    }
    // A single element, or none: one axis, so that every walk has a run axis.
    if (walk.shape.empty() || walk.elements == 0) {
        walk.shape.assign(1, walk.elements);
        for (int a = 0; a < walk.arrays; ++a) walk.strides[a].assign(1, 0);
    }
    return walk;
}
