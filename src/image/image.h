// The one image of a run, held in a fixed store, and the PGM files it comes from and goes to.
#pragma once

#include <cstddef>

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
