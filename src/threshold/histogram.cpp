#include <cstddef>
#include <cstdint>

#include "image/image.h"
#include "threshold/threshold.h"

void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows) {
    // Four count tables let consecutive equal pixels go to different counters,
    // so the increments do not wait on each other. Integer counts are exact in
    // any visiting order, so walking the store column by column, as it lies in
    // memory, gives the counts that file order would.
    uint32_t counts[4][GREY_LEVELS] = {};
    for (int x = 0; x < columns; ++x) {
        const unsigned char* column = store + static_cast<size_t>(x) * MAX_SIZE;
        int y = 0;
        for (; y + 4 <= rows; y += 4) {
            ++counts[0][column[y]];
            ++counts[1][column[y + 1]];
            ++counts[2][column[y + 2]];
            ++counts[3][column[y + 3]];
        }
        for (; y < rows; ++y) ++counts[0][column[y]];
    }
    // Formed in 64 bits: dimensions of any sign cannot overflow. Every valid
    // image has the same N as a 32-bit product; an empty one has no counts, so
    // each frequency is 0/N, a zero or NaN, and no cut can win.
    const double pixels = static_cast<double>(static_cast<int64_t>(rows) * columns);
    for (int level = 0; level < GREY_LEVELS; ++level) {
        const uint32_t count = counts[0][level] + counts[1][level] + counts[2][level] +
                               counts[3][level];
        histogram[level] = static_cast<double>(count) / pixels;
    }
}
