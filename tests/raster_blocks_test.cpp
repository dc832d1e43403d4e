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
#include "image/transpose_streaming.h"
#include "test_files.h"

namespace {

// Every path this processor can take, on sides that are no multiple of any
// tile (16 columns by 16, 32 or 64 rows), so that each path's full tiles, the
// rows it leaves to the narrower paths and the columns left to the byte loop
// all occur, next to shapes of whole tiles.
TEST(Transpose, EveryPathMatchesThePlainVersion) {
    const int shapes[][2] = {{1, 1},    {1, 37},   {37, 1},    {15, 31},   {31, 15},
                             {33, 63},  {63, 33},  {65, 65},   {64, 16},   {96, 5000},
                             {4999, 3}, {3, 4999}, {4999, 65}, {65, 4999}, {100, 35}};
    const TransposePath paths[] = {TransposePath::portable, TransposePath::sse2,
                                   TransposePath::avx2, TransposePath::avx512};
    int paths_run = 0;
    unsigned seed = 12345;
    for (const TransposePath path : paths) {
        if (!transpose_path_supported(path)) continue;
        ++paths_run;
        for (const auto& shape : shapes) {
            const int rows = shape[0], cols = shape[1];
            const std::string name = "path " + std::to_string(static_cast<int>(path)) + ", " +
                                     std::to_string(rows) + " x " + std::to_string(cols);
            std::vector<unsigned char> src(static_cast<size_t>(rows) * cols);
            for (unsigned char& byte : src)
                byte = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
            // Into a wide stride, as a row block goes into the store, and back;
            // bytes outside the corner must keep their filler.
            std::vector<unsigned char> fast(static_cast<size_t>(cols) * MAX_SIZE, 0xee);
            std::vector<unsigned char> plain(fast);
            transpose_with_path(
                path, {src.data(), static_cast<size_t>(cols), fast.data(), MAX_SIZE, rows, cols});
            transpose_plain(
                {src.data(), static_cast<size_t>(cols), plain.data(), MAX_SIZE, rows, cols});
            ASSERT_EQ(fast, plain) << name;
            std::vector<unsigned char> back(src.size(), 0xee);
            transpose_with_path(
                path, {fast.data(), MAX_SIZE, back.data(), static_cast<size_t>(cols), cols, rows});
            ASSERT_EQ(back, src) << name;
        }
    }
    // The streamed transpose, into the store's stride, on the shapes a row block can have.
    int streamed_run = 0;
    for (const auto& shape : shapes) {
        const int rows = shape[0], cols = shape[1];
        if (rows > STREAMED_MAX_ROWS) continue;
        ++streamed_run;
        std::vector<unsigned char> src(static_cast<size_t>(rows) * cols);
        for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 7 + i / 61);
        std::vector<unsigned char> streamed(static_cast<size_t>(cols) * MAX_SIZE + 1, 0xee);
        std::vector<unsigned char> plain(streamed);
        // One byte past a line boundary, so that no row starts on one.
        transpose_streaming(
            {src.data(), static_cast<size_t>(cols), streamed.data() + 1, MAX_SIZE, rows, cols});
        transpose_plain(
            {src.data(), static_cast<size_t>(cols), plain.data() + 1, MAX_SIZE, rows, cols});
        ASSERT_EQ(streamed, plain) << "streamed, " << rows << " x " << cols;
    }
    EXPECT_GE(streamed_run, 5);
    // The portable path is always there; a build with vector code has SSE2 too.
    EXPECT_GE(paths_run, 1);
#if defined(__SSE2__) && !defined(CIRCTHRESH_NO_SIMD)
    EXPECT_GE(paths_run, 2);
#endif
}

// Whether the processor has a path comes from the flags the kernel lists for
// it: a build that lost its wide paths, or asks for the wrong feature, would
// leave a processor with AVX2 on SSE2 without any output differing.
#if defined(__x86_64__) && !defined(CIRCTHRESH_NO_SIMD)
bool cpu_flag(const std::string& flag) {
    const std::string info = read_file("/proc/cpuinfo");
    const size_t flags = info.find("\nflags");
    const std::string line = info.substr(flags, info.find('\n', flags + 1) - flags);
    return (line + " ").find(" " + flag + " ") != std::string::npos;
}
#endif

TEST(Transpose, KnowsWhichPathsTheProcessorHas) {
#if defined(__x86_64__) && !defined(CIRCTHRESH_NO_SIMD)
    EXPECT_EQ(transpose_path_supported(TransposePath::avx2), cpu_flag("avx2"));
    EXPECT_EQ(transpose_path_supported(TransposePath::avx512),
              cpu_flag("avx512f") && cpu_flag("avx512bw"));
#else
    EXPECT_FALSE(transpose_path_supported(TransposePath::avx2));
    EXPECT_FALSE(transpose_path_supported(TransposePath::avx512));
#endif
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
