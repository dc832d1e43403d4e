// The reader on both header layouts and every input fault: each case either
// gives an image of the expected size, whose raster is the file's last bytes,
// or ends the process with status 255 and exactly its one line on stderr.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/image.h"
#include "reader_case.h"
#include "test_files.h"

namespace {

const ReaderCase CASES[] = {
    // The two layouts and the file's exact length.
    {"one_line_exact", "P5 2 2 255\n" + R4, nullptr, 2, 2},
    {"one_line_byte_too_many", "P5 2 2 255\n" + R5, EXTRA, 0, 0},
    {"one_line_byte_short", "P5 2 2 255\n" + R3, PREMATURE, 0, 0},
    {"one_line_fields_after_fourth_ignored", "P5 2 2 255 any thing\n" + R4, nullptr, 2, 2},
    {"one_line_crlf_harmless", "P5 2 2 255\r\n" + R4, nullptr, 2, 2},
    {"multi_line_two_comments", "P5\n# one\n# two\n2 2\n255\n" + R4, nullptr, 2, 2},
    {"multi_line_no_comment", "P5\n2 2\n255\n" + R4, nullptr, 2, 2},
    // The maximum grey value is scanned from the stream, skipping white space
    // and newlines first; the one dropped byte is the newline after it.
    {"maximum_value_after_blank_line_and_indent", "P5\n2 2\n\n \t 255\n" + R4, nullptr, 2, 2},
    {"newline_after_raster", "P5 2 2 255\n" + R4 + "\n", EXTRA, 0, 0},
    // The magic token must be exactly P5.
    {"magic_P2", "P2 2 2 255\n" + R4, FORMAT, 0, 0},
    {"magic_P6_multi_line", "P6\n2 2\n255\n" + R4, FORMAT, 0, 0},
    {"magic_P5x", "P5x 2 2 255\n" + R4, FORMAT, 0, 0},
    {"magic_lower_case", "p5 2 2 255\n" + R4, FORMAT, 0, 0},
    {"empty_file", "", FORMAT, 0, 0},
    {"empty_first_line", "\nP5 2 2 255\n" + R4, FORMAT, 0, 0},
    // Size before depth.
    {"depth_15", "P5 2 2 15\n" + R4, DEPTH_15, 0, 0},
    {"width_5001", "P5 5001 10 255\n", SIZE, 0, 0},
    {"height_5001", "P5 10 5001 255\n", SIZE, 0, 0},
    {"size_reported_before_depth", "P5 5001 10 15\n", SIZE, 0, 0},
    // Header quirks that are kept.
    {"comment_before_maximum_value", "P5\n2 2\n# c\n255\n" + R4, DEPTH_0, 0, 0},
    {"maximum_value_on_dimension_line", "P5\n2 2 255\n" + R4, DEPTH_0, 0, 0},
    // The maximum grey value is then read from the raster: 255 there, one byte
    // dropped, and four bytes remain for the image.
    {"maximum_value_read_from_raster", "P5\n2 2 255\n255X" + R4, nullptr, 2, 2},
    // "255" alone converts one number, not two, so dimensions come from a later line.
    {"three_fields_first_line", "P5 2 2\n255\n3 1\n255\n" + R3, nullptr, 3, 1},
    {"three_fields_then_raster", "P5 2 2\n255\n" + R4, PREMATURE, 0, 0},
    // A carriage return is the dropped byte; the newline then makes one byte too many.
    {"multi_line_crlf", "P5\r\n2 2\r\n255\r\n" + R4, EXTRA, 0, 0},
    {"multi_line_crlf_newline_is_pixel", "P5\r\n2 2\r\n255\r\n" + R3, nullptr, 2, 2},
    // A line over 254 characters arrives in pieces; only the first is a comment.
    {"long_comment", "P5\n#" + std::string(300, 'a') + "\n2 2\n255\n" + R4, nullptr, 2, 2},
    {"long_comment_piece_holds_dimensions", "P5\n#" + std::string(253, 'a') + "3 1\n255\n" + R3,
     nullptr, 3, 1},
    {"sign_without_digits", "P5\n+ 2\n2 2\n255\n" + R4, nullptr, 2, 2},
    {"nul_ends_line_for_scanning", std::string("P5\n2\0 2\n2 2\n255\n", 16) + R4, nullptr, 2, 2},
    // Empty images.
    {"width_0", "P5 0 2 255\n", nullptr, 0, 2},
    {"multi_line_0_by_0", "P5\n0 0\n255\n", nullptr, 0, 0},
    {"negative_width", "P5 -3 2 255\n", nullptr, -3, 2},
    {"empty_image_extra_byte", "P5 0 0 255\nX", EXTRA, 0, 0},
    // The end of the file met in the header.
    {"maximum_value_is_last_byte", "P5\n0 0\n255", PREMATURE, 0, 0},
    {"one_line_without_newline", "P5 0 0 255", PREMATURE, 0, 0},
    {"ends_after_magic", "P5\n", PREMATURE, 0, 0},
    {"ends_in_comments", "P5\n# a\n# b\n", PREMATURE, 0, 0},
    {"ends_after_width", "P5\n2\n", PREMATURE, 0, 0},
    {"ends_before_maximum_value", "P5\n2 2\n", DEPTH_0, 0, 0},
    // Numbers beyond an int saturate instead of wrapping around.
    {"huge_width", "P5 4294967298 2 255\n" + R4, SIZE, 0, 0},
    {"huge_negative_height", "P5 2 -4294967294 255\n", nullptr, 2, -2147483647 - 1},
    {"huge_depth", "P5 2 2 4294967551\n" + R4, DEPTH_MAX, 0, 0},
    {"thirty_digit_depth", "P5 2 2 123456789012345678901234567890\n" + R4, DEPTH_MAX, 0, 0},
    {"huge_negative_depth", "P5 2 2 -99999999999\n" + R4, DEPTH_MIN, 0, 0},
    {"thirty_digits_with_leading_zeros", "P5 2 2 000000000000000000000000000255\n" + R4, nullptr, 2,
     2},
    {"largest_int_width", "P5 2147483647 1 255\n", SIZE, 0, 0},
};

TEST_P(ReaderTest, ReadsOrRefuses) {
    const ReaderCase& c = GetParam();
    const std::string path = scratch_dir() + "/in.pgm";
    write_file(path, c.bytes);
    int w = 0, h = 0, d = 0;
    if (c.error != nullptr) {
        EXPECT_EXIT(read_pgm(&image[0][0], path.c_str(), &w, &h, &d), testing::ExitedWithCode(255),
                    testing::Eq(std::string(c.error)));
        return;
    }
    read_pgm(&image[0][0], path.c_str(), &w, &h, &d);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    EXPECT_EQ(d, 255);
    if (w <= 0 || h <= 0) return;
    const std::string raster = c.bytes.substr(c.bytes.size() - static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(image[x][y], static_cast<unsigned char>(raster[y * w + x])) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Headers, ReaderTest, testing::ValuesIn(CASES), CaseName());

TEST(ImageStore, IsColumnFirst) {
    const std::string path = scratch_dir() + "/in.pgm";
    write_file(path, "P5 3 2 255\n" + std::string("\x0a\x0b\x0c\x14\x15\x16", 6));
    int w = 0, h = 0, d = 0;
    read_pgm(&image[0][0], path.c_str(), &w, &h, &d);
    const unsigned char* store = &image[0][0];
    EXPECT_EQ(store[0], 0x0a);         // (0, 0)
    EXPECT_EQ(store[1], 0x14);         // (0, 1): the first pixel of row 1
    EXPECT_EQ(store[MAX_SIZE], 0x0b);  // (1, 0): a whole column further on
    EXPECT_EQ(store[2 * MAX_SIZE + 1], 0x16);
}

TEST(ImageStore, HoldsTheLargestImage) {
    const std::string path = scratch_dir() + "/in.pgm";
    std::string raster(static_cast<size_t>(MAX_SIZE) * MAX_SIZE, '\0');
    for (size_t i = 0; i < raster.size(); ++i) raster[i] = static_cast<char>(i * 7 % 251);
    write_file(path, one_line_pgm(MAX_SIZE, MAX_SIZE, raster));
    int w = 0, h = 0, d = 0;
    read_pgm(&image[0][0], path.c_str(), &w, &h, &d);
    remove(path.c_str());  // 25 MB, not worth keeping
    ASSERT_EQ(w, MAX_SIZE);
    ASSERT_EQ(h, MAX_SIZE);
    for (int y : {0, 1, 2499, 4998, 4999})
        for (int x : {0, 15, 16, 4991, 4999})
            EXPECT_EQ(image[x][y],
                      static_cast<unsigned char>(raster[static_cast<size_t>(y) * MAX_SIZE + x]))
                << x << "," << y;
}

TEST(ImageStore, RefusesOneMoreColumn) {
    const std::string path = scratch_dir() + "/in.pgm";
    write_file(path, one_line_pgm(MAX_SIZE + 1, 1, std::string(MAX_SIZE + 1, 'a')));
    int w = 0, h = 0, d = 0;
    EXPECT_EXIT(read_pgm(&image[0][0], path.c_str(), &w, &h, &d), testing::ExitedWithCode(255),
                testing::Eq(std::string(SIZE)));
}

TEST(ReaderFiles, MissingFileCannotBeOpened) {
    const std::string path = scratch_dir() + "/missing.pgm";
    int w = 0, h = 0, d = 0;
    EXPECT_EXIT(read_pgm(&image[0][0], path.c_str(), &w, &h, &d), testing::ExitedWithCode(255),
                testing::Eq("cannot open input file: " + path + "\n"));
}

}  // namespace
