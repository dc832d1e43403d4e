// The one image of a run, held in a fixed store, and the PGM files it comes from and goes to.
#pragma once

// Largest accepted width and height, and the store's extent in each direction.
constexpr int MAX_SIZE = 5000;

// Column first: pixel (x, y) is image[x][y], so one column is contiguous and
// consecutive pixels of a row lie MAX_SIZE bytes apart. Only the top-left
// width x height corner is meaningful.
extern unsigned char image[MAX_SIZE][MAX_SIZE];
extern int width;
extern int height;
extern int depth;

// Reads a binary PGM (P5, maximum grey value 255) into the store and sets the
// dimensions. Returns only with a complete image and the file closed; every
// fault prints one line on standard error and ends the process with status 255.
void read_pgm(unsigned char* store, const char* path, int* width_read, int* height_read,
              int* depth_read);

// Writes the store's width x height corner as a binary PGM. Returns 0 when every
// write and the close succeeded, -1 otherwise; a file that cannot be opened ends
// the process with a message and status 255.
int write_pgm(const unsigned char* store, const char* path, int columns, int rows);
