// Inputs nobody should send, beyond the ordinary header cases: each one gives
// its one message and status 255, or an image where the format allows it.
#include <gtest/gtest.h>

#include <string>

#include "image/image.h"
#include "reader_case.h"
#include "test_files.h"

namespace {

std::string garbage(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    return bytes;
}

std::string repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

const ReaderCase HOSTILE[] = {
    {"png_signature", "\x89PNG\r\n\x1a\n" + garbage(100, 1), FORMAT, 0, 0},
    {"binary_garbage", garbage(4096, 2), FORMAT, 0, 0},
    // "P5" is all that is scanned of the first line; the next "line" is the
    // raster, which ends the file without width and height.
    {"nul_inside_first_line", std::string("P5\0 2 2 255\n", 12) + R4, PREMATURE, 0, 0},
    {"ten_thousand_comments", "P5\n" + repeat("# comment\n", 10000) + "2 2\n255\n" + R4, nullptr, 2,
     2},
    // The first line arrives in 254-character pieces; width and height come from
    // the piece that holds them, and the 255 on it is not seen (depth 0).
    {"first_line_of_1000_spaces", "P5 " + std::string(1000, ' ') + "2 2 255\n" + R4, DEPTH_0, 0, 0},
    {"line_of_100000_characters", "P5\n#" + std::string(100000, 'x') + "\n2 2\n255\n" + R4, nullptr,
     2, 2},
    {"thirty_digit_width", "P5 123456789012345678901234567890 2 255\n" + R4, SIZE, 0, 0},
    {"thirty_digit_negative_height", "P5 2 -123456789012345678901234567890 255\n", nullptr, 2,
     -2147483647 - 1},
    {"sign_without_digits_as_depth", "P5 2 2 +\n" + R4, PREMATURE, 0, 0},
    {"lone_minus_before_depth", "P5\n2 2\n-\n" + R4, DEPTH_0, 0, 0},
    {"largest_header_one_byte_raster", "P5 5000 5000 255\nx", PREMATURE, 0, 0},
    {"header_of_nuls", std::string(300, '\0'), FORMAT, 0, 0},
    {"only_white_space", std::string(500, ' ') + "\n\t\r\n", FORMAT, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Hostile, ReaderTest, testing::ValuesIn(HOSTILE), CaseName());

// "P5\n#c\n2 2\n255\n" and 4 pixels, cut after every byte: the message says where
// the file stopped. Cut inside the maximum grey value, the digits read so far
// are the depth; cut before it, depth keeps its start value 0.
TEST(Truncated, EveryPrefixOfTheFile) {
    const std::string whole = "P5\n#c\n2 2\n255\n" + R4;
    const std::string path = scratch_dir() + "/cut.pgm";
    for (size_t length = 0; length < whole.size(); ++length) {
        std::string expected = PREMATURE;
        if (length <= 1) expected = FORMAT;  // "" or "P": no magic
        if (length == 9 || length == 10) expected = DEPTH_0;
        if (length == 11) expected = "ERROR: depth = 2; (instead of 255)\n";
        if (length == 12) expected = "ERROR: depth = 25; (instead of 255)\n";
        write_file(path, whole.substr(0, length));
        int w = 0, h = 0, d = 0;
        EXPECT_EXIT(read_pgm(&image[0][0], path.c_str(), &w, &h, &d), testing::ExitedWithCode(255),
                    testing::Eq(expected))
            << "cut after " << length << " bytes";
    }
}

TEST(Hostile, DirectoryAsInput) {
    const std::string dir = scratch_dir();
    int w = 0, h = 0, d = 0;
    EXPECT_EXIT(read_pgm(&image[0][0], dir.c_str(), &w, &h, &d), testing::ExitedWithCode(255),
                testing::Eq(std::string(PREMATURE)));
}

}  // namespace
