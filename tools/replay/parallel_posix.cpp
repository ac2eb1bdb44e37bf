// Threads on Linux: std::thread.
#include "parallel_os.h"

#include <system_error>
#include <thread>
#include <vector>

namespace replay {

unsigned processorCount() { return std::thread::hardware_concurrency(); }

void runOnThreads(size_t threads, const std::function<void(size_t)> &worker) {
    std::vector<std::thread> others;
    for (size_t i = 1; i < threads; i++) {
        try {
            others.emplace_back([&worker, i] { worker(i); });
        } catch (const std::system_error &) {
            break; // the threads already running share the rest
        }
    }
    worker(0);
    for (std::thread &thread : others)
        thread.join();
}

} // namespace replay
