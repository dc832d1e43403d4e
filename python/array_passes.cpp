#include "array_passes.h"

#include <cstdlib>

#include "threshold/binary_level.h"

int inner_axis(const ByteArray& pixels) {
    // A single row or column is walked along its length, whatever its step.
    if (pixels.shape[0] <= 1) return 1;
    if (pixels.shape[1] <= 1) return 0;
    return std::abs(pixels.strides[0]) < std::abs(pixels.strides[1]) ? 0 : 1;
}

void count_array_levels(LevelCounts counts, const ByteArray& pixels) {
    const int inner = inner_axis(pixels);
    const int outer = 1 - inner;
    for (ptrdiff_t i = 0; i < pixels.shape[outer]; ++i)
        count_levels(counts, pixels.data + i * pixels.strides[outer], pixels.strides[inner],
                     pixels.shape[inner]);
}

void count_selected_array_levels(LevelCounts counts, const ByteArray& pixels,
                                 const ByteArray& selection) {
    const int inner = inner_axis(pixels);
    const int outer = 1 - inner;
    for (ptrdiff_t i = 0; i < pixels.shape[outer]; ++i)
        count_selected_levels(counts, pixels.data + i * pixels.strides[outer],
                              pixels.strides[inner], selection.data + i * selection.strides[outer],
                              selection.strides[inner], pixels.shape[inner]);
}

namespace {

void threshold_run(unsigned char* binary, const unsigned char* run, ptrdiff_t stride,
                   ptrdiff_t length, int threshold) {
    // Contiguous runs, the common case, get a loop the compiler can vectorise.
    if (stride == 1) {
        for (ptrdiff_t i = 0; i < length; ++i) binary[i] = binary_level(run[i], threshold);
    } else {
        for (ptrdiff_t i = 0; i < length; ++i)
            binary[i] = binary_level(run[i * stride], threshold);
    }
}

}  // namespace

void threshold_array(unsigned char* binary, const ByteArray& pixels, int threshold) {
    const int inner = inner_axis(pixels);
    const int outer = 1 - inner;
    for (ptrdiff_t i = 0; i < pixels.shape[outer]; ++i)
        threshold_run(binary + i * pixels.shape[inner], pixels.data + i * pixels.strides[outer],
                      pixels.strides[inner], pixels.shape[inner], threshold);
}
