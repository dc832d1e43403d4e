#include "run_pieces.h"

#include <system_error>
#include <thread>
#include <vector>

void run_pieces(int pieces, const std::function<void(int piece)>& work) {
    std::vector<std::thread> started;
    started.reserve(pieces > 1 ? pieces - 1 : 0);
    int piece = 1;
    for (; piece < pieces; ++piece) {
        try {
            started.emplace_back(work, piece);
        } catch (const std::system_error&) {
            break;
        }
    }
    for (int refused = piece; refused < pieces; ++refused) work(refused);
    work(0);
    for (std::thread& thread : started) thread.join();
}
