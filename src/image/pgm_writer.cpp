// Writing the store's image as a binary PGM through the output file, every write checked.
#include <cstdio>

#include "fail.h"
#include "image/image.h"
#include "image/raster_blocks.h"
#include "output/replace_file.h"

int write_pgm(const unsigned char* store, const char* path, int columns, int rows) {
    FILE* file = open_output(path);
    if (file == nullptr) fail("cannot open output file: %s\n", path);

    // A write can fail long before the close does (a full disk), and must not be
    // lost: any failed write makes the result a failure, like a failed close.
    bool written = fprintf(file, "P5\n#created by Quenbarlit\n%d %d\n255\n", columns, rows) > 0;
    written = written && write_row_blocks(file, store, columns, rows);
    return finish_output(file, written && !ferror(file));
}
