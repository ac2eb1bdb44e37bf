// The read loop every system shares: what was peeked first, then reads that
// flush the outputs before they would wait, until the end, a failure or a
// stop. How a system tells whether data is there and waits for it is in
// input_posix.cpp and input_windows.cpp.
#include "input.h"

#include "platform.h"

#include <algorithm>
#include <cstring>

namespace replay {

size_t StreamInput::read(unsigned char *to, size_t most) {
    if (startAt_ < start_.size()) {
        size_t n = std::min(most, start_.size() - startAt_);
        std::memcpy(to, start_.data() + startAt_, n);
        startAt_ += n;
        return n;
    }
    while (!ended_ && most > 0) {
        if (stopRequested()) {
            stopped_ = ended_ = true;
            break;
        }
        if (live_ && !dataReady()) {
            if (beforeWait)
                beforeWait();
            if (!waitForData())
                continue; // woken by a stop
        }
        if (size_t got = readNow(to, most))
            return got;
        if (stopRequested())
            continue;
        if (!error_.empty() || !follow_) {
            ended_ = true;
            break;
        }
        // The end of a file still being written: wait for it to grow. A
        // record cut off here is the rest of it still to come.
        if (beforeWait)
            beforeWait();
        waitForGrowth();
    }
    return 0;
}

} // namespace replay
