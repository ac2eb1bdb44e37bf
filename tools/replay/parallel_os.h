// What parallel.cpp needs from each system (parallel_posix.cpp,
// parallel_windows.cpp): GCC's win32 thread model has no usable
// std::thread, so the Windows build runs its own Win32 threads.
#pragma once

#include <cstddef>
#include <functional>

namespace replay {

// The number of processors the system reports (0 if it cannot tell).
unsigned processorCount();

// Runs worker(1) ... worker(threads - 1) on threads of their own and
// worker(0) on the calling thread, and returns when every one has returned.
// A thread that cannot be started is left out: its worker never runs, and
// the others share its work.
void runOnThreads(size_t threads, const std::function<void(size_t)> &worker);

} // namespace replay
