// Work spread over the machine's cores.
#pragma once

#include <cstddef>
#include <functional>

namespace replay {

// How many threads parallelFor uses at most: the number of processors the
// system reports, at least 1.
unsigned workerCount();

// Runs task(0), task(1), ... task(count - 1), each exactly once, on up to
// workerCount() threads (the calling thread is one of them), and returns
// when every one has finished. Tasks are handed out in increasing order.
// If tasks throw, the exception of the lowest-numbered one that threw is
// rethrown to the caller.
void parallelFor(size_t count, const std::function<void(size_t)> &task);

} // namespace replay
