// Running the pieces of one pass on detached helper threads and the caller, which waits for all.
#include "run_pieces.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Shared with the helper threads, which may outlive the call that made them.
struct PieceQueue {
    std::atomic<ptrdiff_t> next{0};
    ptrdiff_t pieces = 0;
    std::mutex lock;
    std::condition_variable all_done;
    ptrdiff_t unfinished = 0;  // guarded by lock
};

// work belongs to the run_pieces call, which may have returned by the time a
// late thread gets here: it is only called for a piece not yet done, while
// run_pieces still waits.
void take_pieces(PieceQueue& queue, int worker, const std::function<void(int, ptrdiff_t)>* work,
                 const std::function<bool()>* stop_requested = nullptr) {
    for (ptrdiff_t piece = queue.next++; piece < queue.pieces; piece = queue.next++) {
        (*work)(worker, piece);
        {
            std::lock_guard<std::mutex> hold(queue.lock);
            if (--queue.unfinished == 0) queue.all_done.notify_all();
        }
        // Asked without the lock: it may wait for Python's.
        if (stop_requested && *stop_requested && (*stop_requested)()) {
            // Every piece below the count taken here has gone to some thread;
            // the rest never will, so nobody waits for them.
            const ptrdiff_t taken = queue.next.exchange(queue.pieces);
            std::lock_guard<std::mutex> hold(queue.lock);
            queue.unfinished -= queue.pieces - (taken < queue.pieces ? taken : queue.pieces);
            if (queue.unfinished == 0) queue.all_done.notify_all();
            return;
        }
    }
}

}  // namespace

void run_pieces(int threads, ptrdiff_t pieces,
                const std::function<void(int worker, ptrdiff_t piece)>& work,
                const std::function<bool()>& stop_requested) {
    const std::shared_ptr<PieceQueue> queue = std::make_shared<PieceQueue>();
    queue->pieces = pieces;
    queue->unfinished = pieces;
    const std::function<void(int, ptrdiff_t)>* shared_work = &work;
    for (int worker = 1; worker < threads; ++worker) {
        try {
            std::thread([queue, shared_work, worker] {
                take_pieces(*queue, worker, shared_work);
            }).detach();
        } catch (const std::exception&) {  // no thread (or no memory for one): do without
            break;
        }
    }
    take_pieces(*queue, 0, shared_work, &stop_requested);
    std::unique_lock<std::mutex> hold(queue->lock);
    queue->all_done.wait(hold, [&] { return queue->unfinished == 0; });
}
