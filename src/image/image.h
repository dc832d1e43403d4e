// The one image of a run, held in a fixed store, and the PGM files it comes from and goes to.
//
// Why the store is column first (image[x][y]): it is the layout the tool has
// had from its first version, which its tests, its fuzzing contract and anyone
// reading the store rely on. The search and the binarisation do not care, as
// they walk the store in memory order; only reading and writing, where files
// come in rows, pay for it, in tiled transposes (transpose_tiles.cpp).
#pragma once

#include <cstddef>

#include "threshold/threshold.h"

// Largest accepted width and height, and the store's extent in each direction.
constexpr int MAX_SIZE = 5000;

// The store starts on a huge page and spans whole huge pages, so that all of it
// can be backed by them: a few dozen page faults for a large image instead of
// thousands. The padding columns past MAX_SIZE are never used.
constexpr size_t HUGE_PAGE_BYTES = size_t{2} << 20;
constexpr size_t STORE_BYTES = (size_t{MAX_SIZE} * MAX_SIZE + HUGE_PAGE_BYTES - 1) /
                               HUGE_PAGE_BYTES * HUGE_PAGE_BYTES;
constexpr int STORE_COLUMNS = static_cast<int>((STORE_BYTES + MAX_SIZE - 1) / MAX_SIZE);

// Column first: pixel (x, y) is image[x][y], so one column is contiguous and
// consecutive pixels of a row lie MAX_SIZE bytes apart. Only the top-left
// width x height corner is meaningful.
extern unsigned char image[STORE_COLUMNS][MAX_SIZE];
extern int width;
extern int height;
extern int depth;

// Asks the kernel to back the part of the store that a width x height image
// uses with huge pages, before the image is stored. Only a hint: without it, or
// where the kernel declines, the store works the same, only slower.
void advise_huge_pages(unsigned char* store, int columns, int rows);

// Reads a binary PGM (P5, maximum grey value 255) into the store and sets the
// dimensions. Returns only with a complete image and the file closed; every
// fault prints one line on standard error and ends the process with status 255.
void read_pgm(unsigned char* store, const char* path, int* width_read, int* height_read,
              int* depth_read);

// Writes the store's width x height corner as a binary PGM. Returns 0 when every
// write and the close succeeded, -1 otherwise; a file that cannot be opened ends
// the process with a message and status 255.
int write_pgm(const unsigned char* store, const char* path, int columns, int rows);

// Frequencies of the grey levels among the width x height pixels of the
// column-first store: counts divided by width x height, NaN for an empty image.
void make_histogram(double histogram[GREY_LEVELS], const unsigned char* store, int columns,
                    int rows);

// Levels threshold..threshold+127, counted around the circle, become 0 and all
// others 255, in place.
void threshold_image(unsigned char* store, int columns, int rows, int threshold);
