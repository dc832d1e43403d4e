#include "run_on_threads.h"

#include <system_error>
#include <thread>
#include <vector>

void run_on_threads(int threads, const std::function<void(int thread)>& work) {
    std::vector<std::thread> started;
    started.reserve(threads > 1 ? threads - 1 : 0);
    int next = 1;
    for (; next < threads; ++next) {
        try {
            started.emplace_back(work, next);
        } catch (const std::system_error&) {
            break;
        }
    }
    for (int refused = next; refused < threads; ++refused) work(refused);
    work(0);
    for (std::thread& started_thread : started) started_thread.join();
}
