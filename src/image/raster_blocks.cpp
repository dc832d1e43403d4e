// The walk over the raster in blocks of whole rows, for the reader and the
// writer, each block moved between file order and the store by a transpose.
#include "image/raster_blocks.h"

#include "image/image.h"

unsigned char row_block[ROW_BLOCK_BYTES];

static_assert(READ_BLOCK_BYTES / MAX_SIZE >= NARROWEST_TILE_ROWS &&
                  MAX_BLOCK_ROWS % NARROWEST_TILE_ROWS == 0,
              "a block holds whole tiles of the narrowest paths");

int rows_per_block(int row_length, int block_bytes) {
    int rows = block_bytes / row_length;
    if (rows > MAX_BLOCK_ROWS) rows = MAX_BLOCK_ROWS;
    return rows - rows % NARROWEST_TILE_ROWS;
}

namespace {

// The one walk over the raster for reading and writing alike: blocks of whole
// rows from the top, each handed to move_block(first row, rows, bytes); stops
// at the first block that fails.
template <class MoveBlock>
bool walk_row_blocks(int columns, int rows, int block_bytes, MoveBlock move_block) {
    if (columns <= 0 || rows <= 0) return true;
    const int block_rows = rows_per_block(columns, block_bytes);
    for (int y = 0; y < rows; y += block_rows) {
        const int block = rows - y < block_rows ? rows - y : block_rows;
        if (!move_block(y, block, static_cast<size_t>(block) * columns)) return false;
    }
    return true;
}

}  // namespace

bool read_row_blocks(FILE* file, unsigned char* store, int columns, int rows) {
    return walk_row_blocks(columns, rows, READ_BLOCK_BYTES, [&](int y, int block, size_t bytes) {
        if (fread(row_block, 1, bytes, file) != bytes) return false;
        transpose({row_block, static_cast<size_t>(columns), store + y, MAX_SIZE, block, columns});
        return true;
    });
}

bool write_row_blocks(FILE* file, const unsigned char* store, int columns, int rows) {
    return walk_row_blocks(columns, rows, ROW_BLOCK_BYTES, [&](int y, int block, size_t bytes) {
        transpose({store + y, MAX_SIZE, row_block, static_cast<size_t>(columns), columns, block});
        return fwrite(row_block, 1, bytes, file) == bytes;
    });
}
