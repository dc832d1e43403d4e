// The walk over the raster in blocks of whole rows, for the reader and the
// writer, each block moved between file order and the store by a transpose.
#include "image/raster_blocks.h"

#include "image/image.h"
#include "image/transpose_streaming.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

// One huge page of its own, as the store has, so that a large image's blocks
// take one page fault, not 313 of 4 KiB, each of which cost several
// microseconds in a virtual machine: at 5000 x 5000 a run's page faults went
// from 362 to 128, and reading and writing the image from 24.0 ms to 19.6
// (medians of 25 runs). Nothing else shares the page: a small page faulted in
// it first would keep the huge one away.
alignas(HUGE_PAGE_BYTES) unsigned char row_block[HUGE_PAGE_BYTES];
static_assert(ROW_BLOCK_BYTES <= HUGE_PAGE_BYTES, "the block buffer fits in one huge page");

namespace {

// Asks for the huge page when the blocks of a columns x rows image cover more
// than half of it, the line the store draws too: below that, clearing 2 MiB
// costs more than the small pages it saves. Asked before the first block is
// read. Only a hint, as for the store.
void advise_block_huge_page(int columns, int rows) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const int block_rows = rows < rows_per_block(columns) ? rows : rows_per_block(columns);
    if (static_cast<size_t>(block_rows) * columns > HUGE_PAGE_BYTES / 2)
        madvise(row_block, HUGE_PAGE_BYTES, MADV_HUGEPAGE);
#else
    (void)columns;
    (void)rows;
#endif
}

}  // namespace

static_assert(ROW_BLOCK_BYTES / MAX_SIZE >= NARROWEST_TILE_ROWS &&
                  MAX_BLOCK_ROWS % NARROWEST_TILE_ROWS == 0,
              "a block holds whole tiles of the narrowest paths");

int rows_per_block(int row_length) {
    int rows = ROW_BLOCK_BYTES / row_length;
    if (rows > MAX_BLOCK_ROWS) rows = MAX_BLOCK_ROWS;
    return rows - rows % NARROWEST_TILE_ROWS;
}

namespace {

// The one walk over the raster for reading and writing alike: blocks of whole
// rows from the top, each handed to move_block(first row, rows, bytes); stops
// at the first block that fails.
template <class MoveBlock>
bool walk_row_blocks(int columns, int rows, MoveBlock move_block) {
    if (columns <= 0 || rows <= 0) return true;
    advise_block_huge_page(columns, rows);
    const int block_rows = rows_per_block(columns);
    for (int y = 0; y < rows; y += block_rows) {
        const int block = rows - y < block_rows ? rows - y : block_rows;
        if (!move_block(y, block, static_cast<size_t>(block) * columns)) return false;
    }
    return true;
}

}  // namespace

// From this many pixels on, the store is larger than the caches keep while it
// is read in, and its blocks go in streamed: 5000 x 5000 and 4000 x 4000 ran
// in 0.93 and 0.94 of the time with it, 3000 x 3000 in 1.10 (medians of 41
// rounds against the build without).
constexpr size_t STREAMED_MIN_PIXELS = size_t{15} << 20;
static_assert(MAX_BLOCK_ROWS <= STREAMED_MAX_ROWS, "a block can go in streamed");

bool read_row_blocks(FILE* file, unsigned char* store, int columns, int rows) {
    const bool streamed = static_cast<size_t>(columns) * rows >= STREAMED_MIN_PIXELS;
    return walk_row_blocks(columns, rows, [&](int y, int block, size_t bytes) {
        if (fread(row_block, 1, bytes, file) != bytes) return false;
        const TransposeBlock moved = {
            row_block, static_cast<size_t>(columns), store + y, MAX_SIZE, block, columns};
        streamed ? transpose_streaming(moved) : transpose(moved);
        return true;
    });
}

bool write_row_blocks(FILE* file, const unsigned char* store, int columns, int rows) {
    return walk_row_blocks(columns, rows, [&](int y, int block, size_t bytes) {
        transpose({store + y, MAX_SIZE, row_block, static_cast<size_t>(columns), columns, block});
        return fwrite(row_block, 1, bytes, file) == bytes;
    });
}
