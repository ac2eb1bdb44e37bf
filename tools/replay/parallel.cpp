#include "parallel.h"

#include "parallel_os.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <vector>

namespace replay {

namespace {

// What the threads of one parallelFor share. Each worker keeps the first
// failure it saw in its own slot, so no lock is needed: the caller reads
// the slots once every worker has been joined.
struct Work {
    Work(const std::function<void(size_t)> &work, size_t total, size_t workers)
        : task(work), count(total), failures(workers) {}

    const std::function<void(size_t)> &task;
    size_t count;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};

    struct Failure {
        size_t index = std::numeric_limits<size_t>::max();
        std::exception_ptr error;
    };
    std::vector<Failure> failures;

    void run(size_t worker) {
        while (!failed.load(std::memory_order_relaxed)) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                return;
            try {
                task(i);
            } catch (...) {
                if (i < failures[worker].index)
                    failures[worker] = Failure{i, std::current_exception()};
                failed.store(true, std::memory_order_relaxed);
            }
        }
    }
};

std::atomic<unsigned> threadLimit{0};

} // namespace

unsigned workerCount() { return std::max(1u, processorCount()); }

void setThreadLimit(unsigned limit) { threadLimit.store(limit, std::memory_order_relaxed); }

void parallelFor(size_t count, const std::function<void(size_t)> &task) {
    size_t threads = std::min<size_t>(workerCount(), count);
    if (unsigned limit = threadLimit.load(std::memory_order_relaxed); limit != 0)
        threads = std::min<size_t>(threads, limit);
    if (threads == 0)
        return;
    Work work(task, count, threads);
    runOnThreads(threads, [&work](size_t worker) { work.run(worker); });

    const Work::Failure *first = nullptr;
    for (const Work::Failure &failure : work.failures)
        if (failure.error && (!first || failure.index < first->index))
            first = &failure;
    if (first)
        std::rethrow_exception(first->error);
}

} // namespace replay
