// Shows on standard error how far the reading of a long trace has got.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace replay {

// Shows on standard error (a terminal) how much of a long trace has been
// read, at most twice a second, on one line that it clears at the end.
class Progress {
  public:
    explicit Progress(uint64_t total) : total_(total) {}
    ~Progress() { clear(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void show(uint64_t bytes) {
        auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(500))
            return;
        last_ = now;
        const double mb = 1024.0 * 1024.0;
        if (total_ != 0)
            width_ = std::fprintf(stderr, "\rnorvi-replay: %.0f of %.0f MB read (%.0f %%)",
                                  static_cast<double>(bytes) / mb, static_cast<double>(total_) / mb,
                                  100.0 * static_cast<double>(bytes) / static_cast<double>(total_));
        else
            width_ = std::fprintf(stderr, "\rnorvi-replay: %.0f MB read",
                                  static_cast<double>(bytes) / mb);
        (void)std::fflush(stderr);
    }
    void clear() {
        if (width_ > 0)
            (void)std::fprintf(stderr, "\r%*s\r", width_, "");
        width_ = 0;
    }

  private:
    uint64_t total_;
    // The first figure waits half a second: a short trace shows none.
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    int width_ = 0;
};

} // namespace replay
