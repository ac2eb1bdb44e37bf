// What the plugin did, written for a program (one JSON object a line) or
// for a person (short coloured lines). Lines are built in one buffer that
// is written out in large blocks: no allocation per line.
#pragma once

#include "host.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace replay {

class Transcript {
  public:
    explicit Transcript(std::FILE *out) : out_(out) { buffer_.reserve(bufferSize + 4096); }
    virtual ~Transcript();
    // One effect other than drawn text. `origin`: where the event that
    // caused it came from (a trace line, a capture record).
    virtual void effect(const host::Effect &effect, uint64_t origin) = 0;
    // One render pass that drew: every label of it, in order.
    virtual void pass(const std::vector<host::TextDrawn> &labels, uint64_t origin) = 0;
    // Writes out what is buffered.
    void flush();
    // Whether a write to the output failed (a full disk, say).
    bool failed() const { return failed_; }

  protected:
    static const size_t bufferSize = 1 << 16;
    std::string buffer_;
    void lineDone();

    void put(std::string_view text) { buffer_.append(text); }
    void put(char c) { buffer_.push_back(c); }
    void putNumber(int64_t value);
    void putHex8(uint32_t value);              // 8 upper-case hex digits
    void putFloat(float value);                // the shortest text that reads back the same
    void putJsonText(std::string_view cp1251); // a JSON string of Windows-1251 text

  private:
    std::FILE *out_;
    bool failed_ = false;
};

std::unique_ptr<Transcript> jsonlTranscript(std::FILE *out);
// `colours`: 24-bit terminal colours; otherwise plain text.
std::unique_ptr<Transcript> textTranscript(std::FILE *out, bool colours);

// The float's shortest text that reads back as the same float.
std::string floatText(float value);

} // namespace replay
