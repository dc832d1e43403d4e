#include <cstdio>

#include "image/fail.h"
#include "image/image.h"
#include "image/output_file.h"
#include "image/raster_blocks.h"

int write_pgm(const unsigned char* store, const char* path, int columns, int rows) {
    FILE* file = open_output(path);
    if (file == nullptr) fail("cannot open output file: %s\n", path);

    // A write can fail long before the close does (a full disk), and must not be
    // lost: any failed write makes the result a failure, like a failed close.
    bool written = fprintf(file, "P5\n#created by Quenbarlit\n%d %d\n255\n", columns, rows) > 0;
    if (columns > 0 && rows > 0) {
        const int block_rows = rows_per_block(columns);
        for (int y = 0; y < rows && written; y += block_rows) {
            const int block = rows - y < block_rows ? rows - y : block_rows;
            const size_t bytes = static_cast<size_t>(block) * columns;
            transpose(store + y, MAX_SIZE, row_block, columns, columns, block);
            written = fwrite(row_block, 1, bytes, file) == bytes;
        }
    }
    return finish_output(file, written && !ferror(file));
}
