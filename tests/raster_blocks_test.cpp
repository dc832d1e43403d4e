// The tiled transpose against the one-byte-at-a-time reference, on shapes with
// ragged edges, both ways between a row block and the store's stride; and the
// block walk of the reader and the writer on images that end in a part block.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/raster_blocks.h"
#include "test_files.h"

namespace {

TEST(Transpose, MatchesThePlainVersion) {
    const int shapes[][2] = {{1, 1},     {1, 37},   {37, 1},   {16, 16},  {17, 33},
                             {52, 5000}, {3, 4999}, {4999, 3}, {100, 35}, {16, 48}};
    unsigned seed = 12345;
    for (const auto& shape : shapes) {
        const int rows = shape[0], cols = shape[1];
        std::vector<unsigned char> src(static_cast<size_t>(rows) * cols);
        for (unsigned char& byte : src)
            byte = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
        // Into a wide stride, as a row block goes into the store, and back.
        std::vector<unsigned char> fast(static_cast<size_t>(cols) * MAX_SIZE, 0xee);
        std::vector<unsigned char> plain(fast);
        transpose(src.data(), cols, fast.data(), MAX_SIZE, rows, cols);
        transpose_plain(src.data(), cols, plain.data(), MAX_SIZE, rows, cols);
        ASSERT_EQ(fast, plain) << rows << " x " << cols;
        std::vector<unsigned char> back(src.size(), 0xee);
        transpose(fast.data(), MAX_SIZE, back.data(), cols, cols, rows);
        ASSERT_EQ(back, src) << rows << " x " << cols;
    }
}

// Images whose rows do not fill whole blocks: a last block shorter than the
// others, and not whole tiles, at the widest width, a ragged one, and widths
// narrow enough that the block's row limit decides. Each must land in the store
// pixel by pixel and come out of the writer as the same raster.
TEST(RowBlocks, ImagesThatDoNotFillBlocksEvenlyReadAndWriteBackUnchanged) {
    const int widths[] = {MAX_SIZE, 4999, 1000, 100, 1};
    const std::string dir = scratch_dir();
    const std::string in = dir + "/in.pgm", out = dir + "/out.pgm";
    unsigned seed = 777;
    for (const int w : widths) {
        const int h = 2 * rows_per_block(w) + 37;
        std::string raster(static_cast<size_t>(w) * h, '\0');
        for (char& byte : raster)
            byte = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        write_file(in, one_line_pgm(w, h, raster));
        int read_w = 0, read_h = 0, read_d = 0;
        read_pgm(&image[0][0], in.c_str(), &read_w, &read_h, &read_d);
        ASSERT_EQ(read_w, w);
        ASSERT_EQ(read_h, h);
        int misplaced = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                misplaced += image[x][y] !=
                             static_cast<unsigned char>(raster[static_cast<size_t>(y) * w + x]);
        EXPECT_EQ(misplaced, 0) << w << " x " << h;
        ASSERT_EQ(write_pgm(&image[0][0], out.c_str(), w, h), 0);
        const std::string header = "P5\n#created by Quenbarlit\n" + std::to_string(w) + " " +
                                   std::to_string(h) + "\n255\n";
        EXPECT_TRUE(read_file(out) == header + raster) << w << " x " << h;
    }
    remove(in.c_str());
    remove(out.c_str());
    rmdir(dir.c_str());
}

}  // namespace
