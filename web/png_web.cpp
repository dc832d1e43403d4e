// The page's PNG steps in the module (web/read_image.js checks the chunks and
// inflates the image data): the CRC-32 of a chunk, and the rows' filters
// undone, on bytes in the module's memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Four bytes as a little-endian word, whatever the machine's order.
inline uint32_t little_endian(const uint8_t* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// The guess of Paeth's filter from the bytes left, above and above left.
inline uint8_t paeth(int left, int up, int up_left) {
    const int to_left = std::abs(up - up_left);  // |p - left| for p = left + up - up_left
    const int to_up = std::abs(left - up_left);
    const int to_up_left = std::abs(left + up - 2 * up_left);
    return static_cast<uint8_t>(to_left <= to_up && to_left <= to_up_left ? left
                                : to_up <= to_up_left                     ? up
                                                                          : up_left);
}

// Adds guess(left, up, up_left) to each byte of raw into row, a pixel of STEP
// bytes at a time: left, up and up_left are the unfiltered bytes of the same
// channel to the left, above and above left (0 where there is none). The
// bytes to the left are kept in locals, not read back from row: a byte just
// stored costs a wait to load again, and the next pixel needs it at once.
// n is a whole number of pixels (PNG rows of 8 bits or more a pixel are).
template <size_t STEP, typename Guess>
void add_guesses(const uint8_t* raw, const uint8_t* above, uint8_t* row, size_t n, Guess guess) {
    uint8_t left[STEP] = {};
    uint8_t up_left[STEP] = {};
    for (size_t i = 0; i + STEP <= n; i += STEP)
        for (size_t c = 0; c < STEP; ++c) {
            const uint8_t up = above[i + c];
            left[c] = static_cast<uint8_t>(raw[i + c] + guess(left[c], up, up_left[c]));
            row[i + c] = left[c];
            up_left[c] = up;
        }
}

// Undoes filter kind on the n bytes of a row, raw into row (which may be raw
// itself), above the row before it unfiltered; STEP bytes a pixel. false for a
// filter PNG does not define.
template <size_t STEP>
bool unfilter_row(uint8_t kind, const uint8_t* raw, const uint8_t* above, uint8_t* row, size_t n) {
    switch (kind) {
        case 0:
            if (row != raw) std::memcpy(row, raw, n);
            return true;
        case 1:
            add_guesses<STEP>(raw, above, row, n, [](int left, int, int) { return left; });
            return true;
        case 2:
            for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(raw[i] + above[i]);
            return true;
        case 3:
            add_guesses<STEP>(raw, above, row, n,
                              [](int left, int up, int) { return (left + up) >> 1; });
            return true;
        case 4:
            // With 0 to the left and above left, Paeth's guess is the byte above.
            add_guesses<STEP>(raw, above, row, n, paeth);
            return true;
        default:
            return false;
    }
}

template <size_t STEP>
int unfilter_rows(uint8_t* filtered, size_t rows, size_t row_bytes, uint8_t* previous, uint8_t* out,
                  size_t out_stride) {
    const uint8_t* above = previous;
    for (size_t k = 0; k < rows; ++k) {
        const uint8_t* raw = filtered + k * (row_bytes + 1);
        uint8_t* row = out + k * out_stride;
        if (!unfilter_row<STEP>(raw[0], raw + 1, above, row, row_bytes)) return raw[0];
        above = row;
    }
    if (rows > 0) std::memmove(previous, above, row_bytes);
    return 0;
}

}  // namespace

extern "C" {

// Writes into tables (8 x 256 words) the tables web_crc32 takes: the CRC-32
// of PNG and zlib, eight bytes a step, table k giving a byte's share of the
// CRC k bytes further on. Made at run time, not held in the module's file.
void web_crc_tables(uint32_t* tables) {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        tables[n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (int n = 0; n < 256; ++n) {
            const uint32_t c = tables[256 * (k - 1) + n];
            tables[256 * k + n] = (c >> 8) ^ tables[c & 0xff];
        }
}

// The CRC-32 of size bytes at bytes, as a PNG chunk's CRC is computed, with
// the tables web_crc_tables wrote.
uint32_t web_crc32(const uint32_t* tables, const uint8_t* bytes, size_t size) {
    const uint32_t(*table)[256] = reinterpret_cast<const uint32_t(*)[256]>(tables);
    uint32_t crc = 0xffffffffu;
    for (; size >= 8; bytes += 8, size -= 8) {
        const uint32_t low = little_endian(bytes) ^ crc;
        const uint32_t high = little_endian(bytes + 4);
        crc = table[7][low & 0xff] ^ table[6][(low >> 8) & 0xff] ^ table[5][(low >> 16) & 0xff] ^
              table[4][low >> 24] ^ table[3][high & 0xff] ^ table[2][(high >> 8) & 0xff] ^
              table[1][(high >> 16) & 0xff] ^ table[0][high >> 24];
    }
    for (; size > 0; ++bytes, --size) crc = table[0][(crc ^ *bytes) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

// Undoes the PNG filters of rows rows at filtered, each its filter byte and
// row_bytes bytes, into rows out_stride apart at out: the image's own rows, or
// filtered + 1 with out_stride row_bytes + 1 to unfilter them where they are.
// previous holds the row above the first, unfiltered (zeros above an image's
// first row), and on return the last row. step: the bytes of a pixel, 1 to 4
// (1 for pixels under 8 bits). Returns 0; the filter byte of the first row
// whose filter PNG does not define (the rows before it done); or -1 for
// another step.
int web_png_unfilter(uint8_t* filtered, size_t rows, size_t row_bytes, size_t step,
                     uint8_t* previous, uint8_t* out, size_t out_stride) {
    switch (step) {
        case 1:
            return unfilter_rows<1>(filtered, rows, row_bytes, previous, out, out_stride);
        case 2:
            return unfilter_rows<2>(filtered, rows, row_bytes, previous, out, out_stride);
        case 3:
            return unfilter_rows<3>(filtered, rows, row_bytes, previous, out, out_stride);
        case 4:
            return unfilter_rows<4>(filtered, rows, row_bytes, previous, out, out_stride);
        default:
            return -1;
    }
}

}  // extern "C"
