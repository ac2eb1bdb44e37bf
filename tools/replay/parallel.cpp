#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace replay {

unsigned workerCount() { return std::max(1u, std::thread::hardware_concurrency()); }

void parallelFor(size_t count, const std::function<void(size_t)> &task) {
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex failures;
    size_t failedTask = count;
    std::exception_ptr failure;
    auto work = [&] {
        for (size_t i; !stop && (i = next++) < count;) {
            try {
                task(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failures);
                if (i < failedTask) {
                    failedTask = i;
                    failure = std::current_exception();
                }
                stop = true;
            }
        }
    };
    std::vector<std::thread> helpers;
    size_t threads = std::min<size_t>(workerCount(), count);
    for (size_t i = 1; i < threads; i++)
        helpers.emplace_back(work);
    work();
    for (std::thread &t : helpers)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace replay
