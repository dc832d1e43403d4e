// A table row for the reader: the bytes of a file and what reading it gives.
#pragma once

#include <ostream>
#include <string>

#include <gtest/gtest.h>

// The reader's messages.
inline const char* const FORMAT = "ERROR: image is not correct PGM format\n";
inline const char* const SIZE = "ERROR: Maximum image size is 5000 x 5000\n";
inline const char* const PREMATURE = "ERROR: premature end of file\n";
inline const char* const EXTRA = "ERROR: extra characters in file\n";
inline const char* const DEPTH_0 = "ERROR: depth = 0; (instead of 255)\n";
inline const char* const DEPTH_15 = "ERROR: depth = 15; (instead of 255)\n";
inline const char* const DEPTH_MAX = "ERROR: depth = 2147483647; (instead of 255)\n";
inline const char* const DEPTH_MIN = "ERROR: depth = -2147483648; (instead of 255)\n";

// Raster bytes that are neither white space nor digits, so no header scan can
// mistake them for a field; R4 fills a 2 x 2 image.
inline const std::string R3("\x01\xa0\xff", 3);
inline const std::string R4("\x01\xa0\xff\x00", 4);
inline const std::string R5 = R4 + "\x7f";

struct ReaderCase {
    const char* name;
    std::string bytes;
    const char* error;  // the one message, or nullptr when the image is accepted
    int width;          // of an accepted image
    int height;
};

inline std::ostream& operator<<(std::ostream& out, const ReaderCase& c) { return out << c.name; }

// Reads the case's file in-process: an accepted image must have the expected
// size and the file's last width x height bytes as its pixels; a refused one must
// end the process with status 255 and exactly the expected line on stderr.
class ReaderTest : public testing::TestWithParam<ReaderCase> {};
