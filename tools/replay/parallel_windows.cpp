// Threads on Windows: _beginthreadex, so that the C library is set up for
// each thread.
#include "parallel_os.h"

#include <vector>

#include <process.h>
#include <windows.h>

namespace replay {

namespace {

struct Start {
    const std::function<void(size_t)> *worker;
    size_t index;
};

unsigned __stdcall threadMain(void *argument) {
    auto *start = static_cast<Start *>(argument);
    (*start->worker)(start->index);
    return 0;
}

} // namespace

unsigned processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<unsigned>(info.dwNumberOfProcessors);
}

void runOnThreads(size_t threads, const std::function<void(size_t)> &worker) {
    std::vector<Start> starts(threads);
    std::vector<HANDLE> handles;
    for (size_t i = 1; i < threads; i++) {
        starts[i] = Start{&worker, i};
        uintptr_t handle = _beginthreadex(nullptr, 0, threadMain, &starts[i], 0, nullptr);
        if (handle != 0)
            handles.push_back(reinterpret_cast<HANDLE>(handle));
    }
    worker(0);
    for (HANDLE handle : handles) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
}

} // namespace replay
