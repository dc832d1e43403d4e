#include <cstddef>

#include "image/image.h"
#include "threshold/threshold.h"

void threshold_image(unsigned char* store, int columns, int rows, int threshold) {
    const unsigned char shift = static_cast<unsigned char>(threshold);
    for (int x = 0; x < columns; ++x) {
        unsigned char* column = store + static_cast<size_t>(x) * MAX_SIZE;
        for (int y = 0; y < rows; ++y) {
            // The distance from the threshold around the circle, in 8 bits; its top
            // bit says which half-circle the level is on. Spreading that bit over
            // the byte gives 0 or 255 without a branch.
            const unsigned char distance = static_cast<unsigned char>(column[y] - shift);
            column[y] = static_cast<unsigned char>(-(distance >> 7));
        }
    }
}
