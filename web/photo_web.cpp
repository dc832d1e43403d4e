// The page's passes over a photo's pixels in the module (web/read_image.js):
// unfiltered PNG rows widened to RGBA, the survey of which pixels are
// transparent and whether the rest are grey, and a grey photo's levels.
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {

// Writes count unfiltered PNG rows at rows, stride bytes apart, of width
// pixels each, as RGBA bytes into rgba, row after row. colour and depth are
// the PNG's: colour 0 or 3 (depth 1, 2, 4 or 8) looks each value up in table
// (256 RGBA entries, of which the first entries are defined: a palette's
// colours, or every grey); colour 2 (8 bits) makes the RGB key, when it is
// not -1, transparent; colour 4 and 6 (8 bits) carry their own alpha. Returns
// 0, or -1 when a value has no entry (an index past the palette).
int web_png_widen(const uint8_t* rows, size_t count, size_t stride, size_t width, int colour,
                  int depth, const uint8_t* table, int entries, int32_t key, uint8_t* rgba) {
    for (size_t y = 0; y < count; ++y, rgba += 4 * width) {
        const uint8_t* row = rows + y * stride;
        if (colour == 0 || colour == 3) {
            const int per_byte = 8 / depth;
            const int most = (1 << depth) - 1;
            for (size_t x = 0; x < width; ++x) {
                const int shift = 8 - depth - static_cast<int>(x % per_byte) * depth;
                const int value = (row[x / per_byte] >> shift) & most;
                if (value >= entries) return -1;
                std::memcpy(rgba + 4 * x, table + 4 * value, 4);
            }
        } else if (colour == 4) {
            for (size_t x = 0; x < width; ++x) {
                const uint8_t grey = row[2 * x];
                uint8_t* pixel = rgba + 4 * x;
                pixel[0] = pixel[1] = pixel[2] = grey;
                pixel[3] = row[2 * x + 1];
            }
        } else if (colour == 2) {
            for (size_t x = 0; x < width; ++x) {
                const uint8_t* from = row + 3 * x;
                uint8_t* pixel = rgba + 4 * x;
                std::memcpy(pixel, from, 3);
                const int32_t rgb = from[0] | (from[1] << 8) | (from[2] << 16);
                pixel[3] = rgb == key ? 0 : 255;
            }
        } else {
            std::memcpy(rgba, row, 4 * width);
        }
    }
    return 0;
}

// The survey of count pixels of channels bytes (3: RGB, all opaque; 4: RGBA):
// 1 into visible where alpha is not 0, 0 where it is (visible NULL for RGB).
// Returns the sum of 1 when a pixel not fully transparent has red, green and
// blue not all equal, 2 when a pixel is fully transparent, and 4 when one is
// partly transparent.
int web_survey(const uint8_t* pixels, size_t count, size_t channels, uint8_t* visible) {
    int not_grey = 0, transparent = 0, partly = 0;
    if (channels == 3) {
        for (size_t i = 0; i < count; ++i, pixels += 3)
            not_grey |= (pixels[0] != pixels[1]) | (pixels[0] != pixels[2]);
        return not_grey;
    }
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        const int shown = pixels[3] != 0;
        visible[i] = static_cast<uint8_t>(shown);
        transparent |= !shown;
        partly |= shown & (pixels[3] != 255);
        not_grey |= shown & ((pixels[0] != pixels[1]) | (pixels[0] != pixels[2]));
    }
    return not_grey | (transparent << 1) | (partly << 2);
}

// A grey photo's levels: the first byte of each of count pixels of channels
// bytes into levels, one byte a pixel; levels may be pixels itself, or lie
// below it, to move them down in place.
void web_first_bytes(const uint8_t* pixels, size_t count, size_t channels, uint8_t* levels) {
    for (size_t i = 0; i < count; ++i) levels[i] = pixels[channels * i];
}

}  // extern "C"
