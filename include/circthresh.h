/* circthresh.h: the circthresh C library, libcircthresh.

   Circular Otsu thresholding of 8-bit grey levels, the same counting, search
   and binarisation as the circthresh command, to the last bit. The 256 grey
   levels are points on a circle, level 255 next to level 0. Every cut of the
   circle into two half-circles of 128 consecutive levels is a candidate; the
   cut whose two classes of pixels have the least within-class variance
   (Otsu's criterion, sigma_W) wins. Cut t (0..127) sets levels t..t+127
   against the other 128 levels.

   A run of the command is, in these terms:

       uint64_t counts[256] = {0};
       int t;
       double sigma_w;
       circthresh_histogram(pixels, rows, columns, columns, NULL, 0, counts);
       circthresh_threshold_counts(counts, &t, &sigma_w);
       printf("thresholding at %d\n", t);
       printf("sigma_W %f\n", sigma_w);
       circthresh_apply(pixels, rows, columns, columns, t, pixels, columns);

   examples/threshold.c in the source tree is that program in full.

   Images. An image is rows x columns pixels of one byte each, its grey level.
   The pixels of a row lie next to each other in memory; row r starts at
   pixels + r * row_stride. A stride is in bytes and may be negative (an image
   stored bottom row first) or zero (one row repeated). The caller guarantees
   that every byte so addressed is readable (or, for an output, writable).

   Errors. Every function but circthresh_version returns CIRCTHRESH_OK (0) on
   success and a negative CIRCTHRESH_E* code on failure. A function that fails
   has written nothing through any of its pointers. Nothing is printed, nothing
   exits the process, no error is kept anywhere but in the return value.

   Memory. The library allocates nothing but the work space of
   circthresh_threshold_classes_counts, freed before it returns: the caller
   owns every buffer before, during and after each call, and no pointer is
   kept once a call returns.

   Threads. The library holds no state of its own, global or hidden. Any
   function may run in any number of threads at once, provided no two calls
   write the same memory at the same time (two circthresh_histogram calls adding
   into one counts array, for instance, need the caller's lock).

   Linking. C99 or later, or C++: cc prog.c $(pkg-config --cflags --libs circthresh),
   or with CMake: find_package(circthresh 1) and the target circthresh::circthresh.
   The shared library is libcircthresh.so.1; every release with major version 1
   keeps these functions, their arguments and their results. */
#ifndef CIRCTHRESH_H
#define CIRCTHRESH_H

#include <stddef.h>
#include <stdint.h>

#include "circthresh_version.h"

/* The library exports these names and nothing else. */
#if defined(__GNUC__)
#define CIRCTHRESH_API __attribute__((visibility("default")))
#else
#define CIRCTHRESH_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define CIRCTHRESH_OK 0
/* An argument is out of range: a null pointer where one is needed, zero rows
   or columns, a threshold outside -1..127, an output stride that would make
   rows overlap, an output that overlaps its input other than exactly in
   place, an image whose extent does not fit in a ptrdiff_t, or counts whose
   total does not fit in a uint64_t. */
#define CIRCTHRESH_EINVAL (-1)
/* The work space of circthresh_threshold_classes_counts (544 KiB, freed
   before returning) could not be allocated. */
#define CIRCTHRESH_ENOMEM (-2)

/* The library's version, "MAJOR.MINOR.PATCH" (this header: CIRCTHRESH_VERSION_STRING,
   and CIRCTHRESH_VERSION_NUMBER, MAJOR * 10000 + MINOR * 100 + PATCH, for #if).
   Compare it with CIRCTHRESH_VERSION_STRING to find a program running with a
   different library than it was built with. The string is constant and owned
   by the library; never free it. Cannot fail. */
CIRCTHRESH_API const char *circthresh_version(void);

/* Counts grey levels: adds 1 to counts[level] for every pixel of the image
   that is selected, and leaves every other entry as it was. Counts are added,
   not set: zero counts first, or add several images into one table.

   pixels, rows, columns, row_stride: the image (see Images above).
   mask, mask_row_stride: NULL selects every pixel, and mask_row_stride is then
     not used. Otherwise an image of the same rows x columns, one byte per
     pixel, its rows mask_row_stride bytes apart: a pixel is selected where its
     mask byte is not 0.
   counts: 256 counters, counts[g] for grey level g.

   Returns CIRCTHRESH_OK, or CIRCTHRESH_EINVAL, leaving counts untouched, when
   pixels or counts is NULL, rows or columns is 0, or the image's extent,
   (rows - 1) * |row_stride| + columns bytes, does not fit in a ptrdiff_t (the
   same for the mask's). A counter that would pass 2^64 - 1 wraps around; no
   image in memory holds that many pixels.

   The pixels and the mask are only read; counts may not overlap them. */
CIRCTHRESH_API int circthresh_histogram(const uint8_t *pixels, size_t rows, size_t columns,
                                        ptrdiff_t row_stride, const uint8_t *mask,
                                        ptrdiff_t mask_row_stride, uint64_t counts[256]);

/* Finds the cut: the command's search on a table of counts. The frequencies
   are each count divided by the sum of all 256 counts, so counts made from
   the whole image give the command's result bit for bit, and counts of the
   masked pixels give the result for those pixels alone.

   counts: 256 counters, as circthresh_histogram leaves them; only read.
   t: receives the cut, 0..127: the lowest t among the cuts of least computed
     variance. Ties are decided on the variances as computed, in the command's
     order of operations, not as exact arithmetic would give them: where
     several cuts split the pixels alike (an image of two levels less than a
     half-circle apart, say), their variances, all 0 exactly, differ by
     rounding, and a later cut whose variance rounds below zero wins
     (sigma_w -0.000000 as printed), which may swap black and white.
     -1 when no cut has pixels on both sides: all pixels of one level, or no
     pixels (all counts 0). That is not an error: the command reports it too,
     and circthresh_apply accepts t = -1.
   sigma_w: receives the cut's within-class variance, as the command prints it
     with "sigma_W %f"; 9e20 when t is -1.

   Returns CIRCTHRESH_OK, or CIRCTHRESH_EINVAL, writing neither result, when
   counts, t or sigma_w is NULL or the counts add up to more than 2^64 - 1. */
CIRCTHRESH_API int circthresh_threshold_counts(const uint64_t counts[256], int *t, double *sigma_w);

/* Binarises: writes, for every pixel, 0 where its level is one of t..t+127
   counted around the circle (level 255 next to 0), and 255 elsewhere: the
   command's output image for cut t. t = -1 makes levels 255 and 0..126 black.

   pixels, rows, columns, row_stride: the image (see Images above); only read.
   t: the cut, -1..127, as circthresh_threshold_counts gives it.
   binary, binary_row_stride: the output, rows x columns bytes, row r at
     binary + r * binary_row_stride. It may be the image itself (binary ==
     pixels and the same stride), to binarise in place; otherwise its bytes,
     from its lowest row's first byte to its highest row's last, must not
     overlap the image's, counted the same way.

   Returns CIRCTHRESH_OK, or CIRCTHRESH_EINVAL, writing nothing, when pixels or
   binary is NULL, rows or columns is 0, t is outside -1..127, the output's
   rows would overlap (|binary_row_stride| < columns with more than one row),
   the output overlaps the image without being exactly in place, or an extent does not fit in a
   ptrdiff_t (see circthresh_histogram). */
CIRCTHRESH_API int circthresh_apply(const uint8_t *pixels, size_t rows, size_t columns,
                                    ptrdiff_t row_stride, int t, uint8_t *binary,
                                    ptrdiff_t binary_row_stride);

/* k classes around the circle (since 1.1.0).

   The circle of levels cut into k arcs instead of two half-circles: cuts
   c[0] < c[1] < ... < c[k-1] in 0..255 make class i of levels c[i]..c[i+1]-1
   and the last class of levels c[k-1]..255 and 0..c[0]-1, those below c[0]
   at positions 256 and up, as the command places its wrapping half-circle.
   Frequencies are the counts divided by their total, as for
   circthresh_threshold_counts; a partition's within-class variance is the
   sum over classes of the sum of p * (position - class mean)^2, every class
   holding pixels. The cuts of least variance win; among equal values, the
   lexicographically smallest cuts.

   The arithmetic has one order, and the search is exact over every
   partition: each class's spread is S2 - S1 * S1 / W, its sums W, S1, S2 of
   p, d * p and d * d * p taken in increasing position with d the distance
   from the class's first occupied level, and the classes' spreads are added
   from the last: s0 + (s1 + (... + s[k-1])). The answer is the least of these
   computed values over all partitions, to the bit, the same in the Python
   module and the page. For k = 2 the value is the command's minimum in exact
   arithmetic (the best two arcs are half-circles) but is summed in another
   order, so the last bits can differ from circthresh_threshold_counts; its
   cuts are two levels, not a half-circle t (on ties, among them any cut
   between empty levels, the smallest).

   Time: the search grows as k times 256^3 / 6 small steps: with all 256
   levels occupied, under a millisecond for k = 3 and a few milliseconds for
   k = 8 on one core of a recent x86-64 processor (bench/classes.sh). */

/* Finds k = classes cuts on a table of counts.

   counts: 256 counters, as circthresh_histogram leaves them; only read.
   classes: k, 2..16.
   cuts: receives k levels, increasing; k times -1 when fewer than k levels
     hold pixels (no partition exists; not an error).
   sigma_w: receives the least within-class variance; 9e20 with cuts of -1.

   Returns CIRCTHRESH_OK; CIRCTHRESH_EINVAL when counts, cuts or sigma_w is
   NULL, classes is outside 2..16 or the counts add up to more than
   2^64 - 1; CIRCTHRESH_ENOMEM. A failed call writes neither result. */
CIRCTHRESH_API int circthresh_threshold_classes_counts(const uint64_t counts[256], int classes,
                                                       int cuts[], double *sigma_w);

/* Labels: writes for every pixel the index (0..classes-1) of its class under
   cuts, as circthresh_threshold_classes_counts defines the classes.

   pixels, rows, columns, row_stride: the image; only read.
   cuts, classes: classes (2..16) cuts, strictly increasing in 0..255.
   labels, labels_row_stride: the output, as binary is for circthresh_apply
     (it may be the image itself, for labelling in place).

   Returns CIRCTHRESH_OK, or CIRCTHRESH_EINVAL, writing nothing, when pixels,
   cuts or labels is NULL, classes is outside 2..16, the cuts are not strictly
   increasing levels in 0..255, or the image or output is refused as by
   circthresh_apply (an output that overlaps the image without being exactly
   in place among them). */
CIRCTHRESH_API int circthresh_apply_classes(const uint8_t *pixels, size_t rows, size_t columns,
                                            ptrdiff_t row_stride, const int cuts[], int classes,
                                            uint8_t *labels, ptrdiff_t labels_row_stride);

/* A photo's hue as grey levels (since 1.1.0): each pixel's HSV hue, one turn
   onto the 256 levels of the circle, ready for circthresh_histogram; and, for
   leaving grey pixels out of the count, which pixels reach a saturation floor.
   The same definition, to the bit, as the Python module's circthresh.hue and
   the web page's.

   The hue of a pixel (r, g, b), from integers and rounded once: top and low
   are its largest and smallest channel, chroma = top - low. The largest
   channel picks the sector, red before green before blue on a tie, and
   sixths, the hue in sixths of a turn times chroma, is g - b (red largest),
   b - r + 2 chroma (green) or r - g + 4 chroma (blue), plus 6 chroma when
   below 0. The level is round(256 * sixths / (6 * chroma)), halves up (no
   colour lands on one), and 256 is level 0 again. Grey (chroma 0) is level 0.
   So red is 0, yellow 43, green 85, cyan 128, blue 171 and magenta 213.

   The saturation of a pixel is chroma / top, 0 for black. A pixel reaches
   saturation_percent where 100 * chroma >= saturation_percent * top, in
   integers, so that 25 takes exactly the pixels of saturation 1/4 and more;
   black reaches only 0.

   rgb, rows, columns, row_stride: the photo, rows x columns pixels of
     `channels` bytes each, red, green, blue (and alpha, which is not read),
     next to each other in a row; row r starts at rgb + r * row_stride (any
     stride, as for images above, counted in bytes).
   channels: 3 (RGB) or 4 (RGBA).
   saturation_percent: the floor, 0..100, for counted.
   hue, hue_row_stride: the output levels, rows x columns bytes, row r at
     hue + r * hue_row_stride.
   counted, counted_row_stride: NULL, or an output like hue's that receives 1
     where the pixel reaches the floor and 0 elsewhere: the mask to give
     circthresh_histogram, so that grey pixels do not count.

   Returns CIRCTHRESH_OK, or CIRCTHRESH_EINVAL, writing nothing, when rgb or
   hue is NULL, channels is not 3 or 4, saturation_percent is outside 0..100,
   rows or columns is 0, an output's rows would overlap (|stride| < columns
   with more than one row), or an extent, the photo's (rows - 1) *
   |row_stride| + columns * channels bytes included, does not fit in a
   ptrdiff_t, or an output overlaps the photo or the other output.

   The photo is only read; hue and counted must not overlap it or each other
   (their address ranges, from the lowest row's first byte to the highest
   row's last, share no byte; there is no in-place hue). */
CIRCTHRESH_API int circthresh_hue(const uint8_t *rgb, size_t rows, size_t columns,
                                  ptrdiff_t row_stride, int channels, int saturation_percent,
                                  uint8_t *hue, ptrdiff_t hue_row_stride, uint8_t *counted,
                                  ptrdiff_t counted_row_stride);

#ifdef __cplusplus
}
#endif

#endif
