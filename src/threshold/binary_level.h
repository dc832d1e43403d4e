// The one rule that turns a grey level into black or white, shared by the
// command's binarisation and the Python module's.
#pragma once

// Levels threshold..threshold+127, counted around the circle, become 0 and all
// others 255; threshold -1 counts as 255. The distance from the threshold around
// the circle, in 8 bits, has its top bit set on the far half-circle; spreading
// that bit over the byte gives 0 or 255 without a branch.
inline unsigned char binary_level(unsigned char level, int threshold) {
    const unsigned char distance = static_cast<unsigned char>(level - threshold);
    return static_cast<unsigned char>(-(distance >> 7));
}
