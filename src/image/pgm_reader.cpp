// Reading a binary PGM into the store: the header, line by line, then the raster in blocks.
#include <cstdio>
#include <cstring>

#include "fail.h"
#include "image/header_scan.h"
#include "image/image.h"
#include "image/raster_blocks.h"

namespace {

// Room for any line piece or token; a piece never exceeds LINE_LIMIT - 1 characters.
constexpr int LINE_BUFFER = 1000;

void check_magic(const char* magic) {
    if (strcmp(magic, "P5") != 0) fail("ERROR: image is not correct PGM format\n");
}

// The one-line layout: magic, width, height and maximum grey value on the first
// line. Like sscanf, it stores each field as it converts it, so a line that stops
// early still leaves the magic (and perhaps the width or height) behind.
bool scan_one_line_header(const char* line, char* magic, int* width, int* height, int* depth) {
    const char* cursor = line;
    return scan_token(&cursor, magic) && scan_int(&cursor, width) && scan_int(&cursor, height) &&
           scan_int(&cursor, depth);
}

void read_next_line(FILE* file, char* line) {
    // The header ran out before it was complete: stop rather than look at the
    // last line again.
    if (!read_line(file, line)) fail_premature_end();
}

// The multi-line layout, after the magic line: comment lines, a line that starts
// with width and height, then the maximum grey value anywhere further on, then
// one byte that is dropped.
void read_multi_line_header(FILE* file, char* line, int* width, int* height, int* depth) {
    do {
        read_next_line(file, line);
    } while (line[0] == '#');
    for (;;) {
        const char* cursor = line;
        if (scan_int(&cursor, width) && scan_int(&cursor, height)) break;
        read_next_line(file, line);
    }
    scan_int(file, depth);  // no number here leaves depth as it was
    getc(file);
    if (ferror(file)) fail_premature_end();
}

// The raster comes in file order, a block of rows at a time, and is turned into
// the column-first store. A short block means the file ended early; nothing read
// after that could change the outcome.
void read_raster(FILE* file, unsigned char* store, int width, int height) {
    advise_huge_pages(store, width, height);
    if (!read_row_blocks(file, store, width, height)) fail_premature_end();
}

}  // namespace

void read_pgm(unsigned char* store, const char* path, int* width_read, int* height_read,
              int* depth_read) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) fail("cannot open input file: %s\n", path);

    // An empty file leaves the line empty, and no magic is found in it.
    char line[LINE_BUFFER] = "";
    char magic[LINE_BUFFER] = "";
    read_line(file, line);
    bool one_line = scan_one_line_header(line, magic, width_read, height_read, depth_read);
    check_magic(magic);
    if (!one_line) read_multi_line_header(file, line, width_read, height_read, depth_read);

    if (*width_read > MAX_SIZE || *height_read > MAX_SIZE)
        fail("ERROR: Maximum image size is %d x %d\n", MAX_SIZE, MAX_SIZE);
    if (*depth_read != 255) fail("ERROR: depth = %d; (instead of 255)\n", *depth_read);

    read_raster(file, store, *width_read, *height_read);
    // The end may have been met in the header already, say by a maximum grey
    // value that is the file's last byte.
    if (feof(file)) fail_premature_end();
    if (getc(file) != EOF) fail("ERROR: extra characters in file\n");
    if (ferror(file)) fail_premature_end();
    fclose(file);
}
