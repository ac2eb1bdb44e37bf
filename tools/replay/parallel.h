// Work spread over the machine's cores, the same way on Linux and on
// Windows (GCC's win32 thread model has no usable std::thread, so the
// Windows build runs its own Win32 threads).
#pragma once

#include <cstddef>
#include <functional>

namespace replay {

// How many threads parallelFor uses at most: the number of processors the
// system reports, at least 1.
unsigned workerCount();

// Runs task(0), task(1), ... task(count - 1), each exactly once, on up to
// workerCount() threads (the calling thread is one of them), and returns
// when every one has finished. Tasks are handed out in increasing order,
// so a task may rely on every lower-numbered one having started.
//
// If tasks throw, no further task is started, the running ones finish, and
// the exception of the lowest-numbered task that threw is rethrown to the
// caller (a trace's earliest bad piece wins, whichever thread saw it first).
// A thread that cannot be started leaves its share to the others.
void parallelFor(size_t count, const std::function<void(size_t)> &task);

// Caps the threads parallelFor uses, the calling one included (0: no cap
// but workerCount()). Work is still cut as for workerCount() threads. For
// the fuzz targets, where starting a thread for every small chunk costs
// more than the reading itself.
void setThreadLimit(unsigned limit);

} // namespace replay
