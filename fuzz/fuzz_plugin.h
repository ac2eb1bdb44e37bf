// Shared by the fuzz targets: the plugin and the stand-in host are compiled
// into each target, so a target drives the plugin through the host as the
// game would and can check the plugin's own state between calls.
#pragma once

#include "host.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Attaches the plugin and runs the frame that starts it up, once per
// process; later inputs meet the state earlier ones left.
void startPluginOnce();

// Reads the fuzz input front to back; past its end every read gives zeros.
class Input {
  public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t dword() { return word() | static_cast<uint32_t>(word()) << 16; }
    // Up to `count` bytes, fewer at the end of the input.
    size_t take(size_t count, const uint8_t **out) {
        size_t n = count < size_ - pos_ ? count : size_ - pos_;
        *out = data_ + pos_;
        pos_ += n;
        return n;
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// Stops the run with a message when an invariant breaks.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__,           \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
