// The writer on an image of several row blocks: the header, then every pixel in
// file order, whichever block it was written from.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "image/image.h"
#include "test_files.h"

namespace {

// A level for each pixel that differs between neighbours in both directions and
// between blocks, so a row or a block written from the wrong place shows.
unsigned char pattern(int x, int y) { return static_cast<unsigned char>(x * 7 + y * 13); }

TEST(Writer, ImageOfSeveralRowBlocks) {
    // 4999 x 137 is 684,863 bytes of raster: more than two blocks of 256 KiB,
    // and the last block is not full.
    const int columns = 4999, rows = 137;
    for (int x = 0; x < columns; ++x)
        for (int y = 0; y < rows; ++y) image[x][y] = pattern(x, y);
    const std::string path = scratch_dir() + "/out.pgm";
    ASSERT_EQ(write_pgm(&image[0][0], path.c_str(), columns, rows), 0);

    std::string expected = "P5\n#created by Quenbarlit\n4999 137\n255\n";
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) expected += static_cast<char>(pattern(x, y));
    const std::string written = read_file(path);
    ASSERT_EQ(written.size(), expected.size());
    const auto difference = std::mismatch(written.begin(), written.end(), expected.begin()).first;
    EXPECT_TRUE(written == expected) << "first difference at byte " << difference - written.begin();
}

}  // namespace
