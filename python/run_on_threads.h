// Running one pass on several threads.
#pragma once

#include <functional>

// Calls work(thread) for thread 0..threads-1, each on a thread of its own (0 on
// the calling one). Should the system refuse a thread, its share is run on the
// calling thread: the result is the same, only slower.
void run_on_threads(int threads, const std::function<void(int thread)>& work);
