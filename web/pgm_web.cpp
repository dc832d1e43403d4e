// The page's PGM reader: the command's header rules, line by line, through the
// library's own header scan (src/image/header_scan.cpp), on the file's bytes in
// the module's memory; only the command's 5000 x 5000 limit is left out.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/header_scan.h"

// header_scan.cpp ends a run on a read error. A stream over memory has none, so
// these are never called; were they, the module stops and the page says so,
// rather than go on with a half-read header.
[[noreturn]] void fail(const char*, ...) { __builtin_trap(); }
[[noreturn]] void fail_premature_end() { __builtin_trap(); }

namespace {

// Room for any line piece or token, as the command's reader has.
constexpr int LINE_BUFFER = 1000;

// The command's messages.
const char NOT_PGM[] = "ERROR: image is not correct PGM format";
const char PREMATURE_END[] = "ERROR: premature end of file";
const char EXTRA_BYTES[] = "ERROR: extra characters in file";

// The command's header, on file: width, height and maximum grey value as it
// reads them, 0 where it finds none. Returns the command's message when it
// refuses the header (the size aside), or nullptr.
const char* read_header(FILE* file, int* width, int* height, int* depth) {
    char line[LINE_BUFFER] = "";
    char magic[LINE_BUFFER] = "";
    read_line(file, line);
    const char* cursor = line;
    // The one-line layout: magic, width, height and maximum on the first line;
    // each field is kept as it is scanned, as sscanf keeps it.
    const bool one_line = scan_token(&cursor, magic) && scan_int(&cursor, width) &&
                          scan_int(&cursor, height) && scan_int(&cursor, depth);
    if (std::strcmp(magic, "P5") != 0) return NOT_PGM;
    if (one_line) return nullptr;
    // Else comment lines, a line that starts with width and height, the maximum
    // anywhere further on, and one byte dropped.
    do {
        if (!read_line(file, line)) return PREMATURE_END;
    } while (line[0] == '#');
    for (;;) {
        cursor = line;
        if (scan_int(&cursor, width) && scan_int(&cursor, height)) break;
        if (!read_line(file, line)) return PREMATURE_END;
    }
    scan_int(file, depth);
    getc(file);
    return nullptr;
}

}  // namespace

extern "C" {

// Reads the PGM file of size bytes at bytes as the command reads one. Returns 0
// and sets *width, *height (negative ones as 0: the command reads no pixels
// for them either) and *raster_offset, where the width x height levels start
// in bytes, row by row; or returns -1 with the command's message in message
// (a P2 file told apart) when the command refuses the file for anything but its
// size.
int web_read_pgm(const uint8_t* bytes, size_t size, int* width, int* height, size_t* raster_offset,
                 char* message, size_t message_size) {
    int read_width = 0, read_height = 0, depth = 0;
    const char* refusal = NOT_PGM;  // an empty file, which has no magic
    uint64_t offset = 0;
    FILE* file = size == 0 ? nullptr : fmemopen(const_cast<uint8_t*>(bytes), size, "rb");
    if (file != nullptr) {
        refusal = read_header(file, &read_width, &read_height, &depth);
        // The raster must fill the rest exactly: no byte short, none after it;
        // a header that met the end already leaves no room for one.
        const bool ended = feof(file) != 0;
        offset = static_cast<uint64_t>(ftell(file));
        fclose(file);
        const uint64_t pixels = read_width <= 0 || read_height <= 0
                                    ? 0
                                    : static_cast<uint64_t>(read_width) * read_height;
        if (refusal == nullptr && depth != 255) {
            std::snprintf(message, message_size, "ERROR: depth = %d; (instead of 255)", depth);
            return -1;
        }
        if (refusal == nullptr && (ended || size - offset < pixels)) refusal = PREMATURE_END;
        if (refusal == nullptr && size - offset > pixels) refusal = EXTRA_BYTES;
    }
    if (refusal == nullptr) {
        *width = read_width < 0 ? 0 : read_width;
        *height = read_height < 0 ? 0 : read_height;
        *raster_offset = static_cast<size_t>(offset);
        return 0;
    }
    if (refusal == NOT_PGM && size >= 2 && bytes[0] == 'P' && bytes[1] == '2')
        std::snprintf(message, message_size,
                      "%s: it is an ASCII PGM (P2), and the command reads binary ones (P5); "
                      "netpbm's \"pamdepth 255 in.pgm > binary.pgm\" makes one of it",
                      refusal);
    else
        std::snprintf(message, message_size, "%s", refusal);
    return -1;
}

}  // extern "C"
