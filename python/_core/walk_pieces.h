// A pass's walk cut into pieces that whichever of its threads is free takes next.
#pragma once

#include <cstddef>
#include <functional>

#include "array_walk.h"
#include "run_pieces.h"

// Work goes out in pieces of about a tenth of a millisecond to whichever thread
// is free, so that a thread the system runs late, because another program holds
// its core, takes fewer pieces instead of holding up the rest. Counting,
// binarising and labelling do this many elements in that time.
constexpr ptrdiff_t PIECE_ELEMENTS = ptrdiff_t{1} << 18;

// How many threads a walk gets: no more than it has pieces.
inline int workers_for(const Walk& walk, int threads, ptrdiff_t piece_elements = PIECE_ELEMENTS) {
    const ptrdiff_t pieces = (walk.elements + piece_elements - 1) / piece_elements;
    return pieces < threads ? (pieces > 1 ? static_cast<int>(pieces) : 1) : threads;
}

// Calls walk_piece(worker, begin, end) for every piece of the walk, on
// `workers` threads numbered 0..workers-1; stop_requested as for run_pieces.
template <typename WalkPiece>
void walk_in_pieces(const Walk& walk, int workers, const std::function<bool()>& stop_requested,
                    WalkPiece walk_piece, ptrdiff_t piece_elements = PIECE_ELEMENTS) {
    const ptrdiff_t pieces = (walk.elements + piece_elements - 1) / piece_elements;
    run_pieces(
        workers, pieces,
        [&](int worker, ptrdiff_t piece) {
            const ptrdiff_t end = (piece + 1) * piece_elements;
            walk_piece(worker, piece * piece_elements, end < walk.elements ? end : walk.elements);
        },
        stop_requested);
}
