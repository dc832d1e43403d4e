// The tiled transpose against the one-byte-at-a-time reference, on shapes with
// ragged edges, both ways between a row block and the store's stride.
#include <gtest/gtest.h>

#include <vector>

#include "image/image.h"
#include "image/raster_blocks.h"

namespace {

TEST(Transpose, MatchesThePlainVersion) {
    const int shapes[][2] = {{1, 1},  {1, 37},   {37, 1},    {16, 16}, {17, 33},
                             {52, 5000}, {3, 4999}, {4999, 3}, {100, 35}, {16, 48}};
    unsigned seed = 12345;
    for (const auto& shape : shapes) {
        const int rows = shape[0], cols = shape[1];
        std::vector<unsigned char> src(static_cast<size_t>(rows) * cols);
        for (unsigned char& byte : src) byte = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
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

TEST(Transpose, BlocksHoldAtLeastOneRow) {
    EXPECT_EQ(rows_per_block(MAX_SIZE), ROW_BLOCK_BYTES / MAX_SIZE);
    EXPECT_GE(rows_per_block(1), 1);
    EXPECT_LE(static_cast<long>(rows_per_block(1)), static_cast<long>(ROW_BLOCK_BYTES));
}

}  // namespace
