// What the plugin did, written for a program (one JSON object a line) or
// for a person (short lines, coloured on a terminal). Lines are built in one
// buffer that is written out in large blocks: no allocation per line.
#pragma once

#include "output.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace replay {

class Summary;

class Transcript : public Output {
  public:
    // `originName`: what an origin is, "line" (a trace) or "record" (a
    // capture).
    Transcript(std::FILE *out, std::string_view originName) : out_(out), originName_(originName) {
        buffer_.reserve(bufferSize + 4096);
    }
    ~Transcript() override;
    void effect(const host::Effect &effect, const Place &place) override = 0;
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override = 0;
    // Ends with the session in figures: those of `summary`, which must come
    // before the transcript in the list of outputs, so that it has ended.
    void endWith(const Summary *summary) { summary_ = summary; }
    // Writes out what is buffered.
    void flush() override;
    // The summary, if any, then everything flushed.
    void finish(const RunEnd &end) override;
    // Whether a write to the output failed (a full disk, a closed pipe).
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
    void putSeconds(double seconds);           // with three decimals
    void putJsonText(std::string_view cp1251); // a JSON string of Windows-1251 text
    // The session in figures, at the end.
    virtual void summary(const Summary &summary) = 0;

  private:
    std::FILE *out_;
    bool failed_ = false;
    const Summary *summary_ = nullptr;

  protected:
    std::string originName_;
};

std::unique_ptr<Transcript> jsonlTranscript(std::FILE *out, std::string_view originName = "line");
// `colours`: 24-bit terminal colours on top of the plain text.
std::unique_ptr<Transcript> textTranscript(std::FILE *out, bool colours,
                                           std::string_view originName = "line");

} // namespace replay
