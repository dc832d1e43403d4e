// circthresh: binarise an 8-bit greyscale PGM by circular Otsu thresholding.
#include <cstdio>
#include <cstdlib>

#include "image/image.h"
#include "threshold/threshold.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        // A program may be started with no argv[0] at all; printf of a null %s is undefined.
        printf("usage: %s input_image output_image\n",
               argc > 0 && argv[0] ? argv[0] : "circthresh");
        exit(-1);
    }

    read_pgm(&image[0][0], argv[1], &width, &height, &depth);

    static double histogram[GREY_LEVELS];
    make_histogram(histogram, &image[0][0], width, height);
    const ThresholdResult result = find_threshold(histogram);

    // Flushed now, so the report comes before any message about the output file.
    printf("thresholding at %d\n", result.threshold);
    printf("sigma_W %f\n", result.variance);
    const bool reported = fflush(stdout) == 0;

    threshold_image(&image[0][0], width, height, result.threshold);
    const int written = write_pgm(&image[0][0], argv[2], width, height);
    // A report that could not be written is a failure too, though the image was.
    return reported ? written : -1;
}
