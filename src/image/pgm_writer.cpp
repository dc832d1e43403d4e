// Writing the store's image as a binary PGM through the output file, every write checked.
#include <cstdio>

#include "fail.h"
#include "image/image.h"
#include "image/raster_blocks.h"
#include "output/replace_file.h"

namespace {

int write_raster_pgm(const unsigned char* store, const char* path, int columns, int rows,
                     bool binarise, int threshold) {
    FILE* file = open_output(path);
    if (file == nullptr) fail("cannot open output file: %s\n", path);

    // A write can fail long before the close does (a full disk), and must not be
    // lost: any failed write makes the result a failure, like a failed close.
    bool written = fprintf(file, "P5\n#created by Quenbarlit\n%d %d\n255\n", columns, rows) > 0;
    written = written && write_row_blocks(file, store, columns, rows, binarise, threshold);
    return finish_output(file, written && !ferror(file));
}

}  // namespace

int write_pgm(const unsigned char* store, const char* path, int columns, int rows) {
    return write_raster_pgm(store, path, columns, rows, false, 0);
}

int write_binary_pgm(const unsigned char* store, const char* path, int columns, int rows,
                     int threshold) {
    return write_raster_pgm(store, path, columns, rows, true, threshold);
}
