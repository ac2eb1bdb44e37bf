#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <thread>
#endif

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

struct Start {
    Work *work;
    size_t worker;
};

std::atomic<unsigned> threadLimit{0};

#if defined(_WIN32)
unsigned __stdcall threadMain(void *argument) {
    auto *start = static_cast<Start *>(argument);
    start->work->run(start->worker);
    return 0;
}
#endif

} // namespace

unsigned workerCount() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return std::max<unsigned>(1, static_cast<unsigned>(info.dwNumberOfProcessors));
#else
    return std::max(1u, std::thread::hardware_concurrency());
#endif
}

void setThreadLimit(unsigned limit) { threadLimit.store(limit, std::memory_order_relaxed); }

void parallelFor(size_t count, const std::function<void(size_t)> &task) {
    size_t threads = std::min<size_t>(workerCount(), count);
    if (unsigned limit = threadLimit.load(std::memory_order_relaxed); limit != 0)
        threads = std::min<size_t>(threads, limit);
    if (threads == 0)
        return;
    Work work(task, count, threads);
    std::vector<Start> starts(threads);
    for (size_t i = 0; i < threads; i++)
        starts[i] = Start{&work, i};

        // Worker 0 is the calling thread; the others get threads of their own.
#if defined(_WIN32)
    std::vector<HANDLE> handles;
    for (size_t i = 1; i < threads; i++) {
        uintptr_t handle = _beginthreadex(nullptr, 0, threadMain, &starts[i], 0, nullptr);
        if (handle != 0)
            handles.push_back(reinterpret_cast<HANDLE>(handle));
    }
    work.run(0);
    for (HANDLE handle : handles) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
#else
    std::vector<std::thread> others;
    for (size_t i = 1; i < threads; i++) {
        try {
            others.emplace_back([&work, i] { work.run(i); });
        } catch (const std::system_error &) {
            break; // the threads already running share the rest
        }
    }
    work.run(0);
    for (std::thread &thread : others)
        thread.join();
#endif

    const Work::Failure *first = nullptr;
    for (const Work::Failure &failure : work.failures)
        if (failure.error && (!first || failure.index < first->index))
            first = &failure;
    if (first)
        std::rethrow_exception(first->error);
}

} // namespace replay
