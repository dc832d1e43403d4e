// Running the pieces of one pass on several threads.
#pragma once

#include <functional>

// Calls work(piece) for piece 0..pieces-1, each on a thread of its own (piece 0
// on the calling one). Should the system refuse a thread, the pieces it would
// have run are run on the calling thread: the result is the same, only slower.
void run_pieces(int pieces, const std::function<void(int piece)>& work);
