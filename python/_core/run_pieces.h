// Running the pieces of one pass on several threads.
#pragma once

#include <cstddef>
#include <functional>

// Calls work(worker, piece) once for every piece 0..pieces-1, on the calling
// thread (worker 0) and up to threads-1 more (workers 1..threads-1), each
// taking the next piece when it is free, and returns when every piece is done.
// A thread that the system starts late, because other programs hold the cores,
// finds the pieces taken and ends without being waited for; a thread the system
// refuses leaves its share to the others. Either way the pieces all run, once.
//
// stop_requested, when given, is asked on the calling thread after each of its
// pieces: once it says true, no further piece starts, and run_pieces returns
// when the pieces already running are done, leaving the rest undone.
void run_pieces(int threads, ptrdiff_t pieces,
                const std::function<void(int worker, ptrdiff_t piece)>& work,
                const std::function<bool()>& stop_requested = {});
