// The command's binarisation of the store in place, by the one rule of binary_level.h.
#include <cstddef>

#include "image/image.h"
#include "threshold/binary_level.h"
#include "threshold/threshold.h"

void threshold_image(unsigned char* store, int columns, int rows, int threshold) {
    for (int x = 0; x < columns; ++x) {
        unsigned char* column = store + static_cast<size_t>(x) * MAX_SIZE;
        for (int y = 0; y < rows; ++y) column[y] = binary_level(column[y], threshold);
    }
}
