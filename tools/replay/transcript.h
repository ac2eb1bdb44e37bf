// What the plugin did, written for a program (one JSON object a line) or
// for a person (short coloured lines).
#pragma once

#include "host.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace replay {

class Transcript {
  public:
    explicit Transcript(std::FILE *out) : out_(out) {}
    virtual ~Transcript();
    // One effect other than drawn text.
    virtual void effect(const host::Effect &effect) = 0;
    // One render pass that drew: every label of it, in order.
    virtual void pass(const std::vector<host::TextDrawn> &labels) = 0;
    // Writes out what is buffered.
    void flush();
    // Whether a write to the output failed (a full disk, say).
    bool failed() const { return failed_; }

  protected:
    std::string buffer_;
    void lineDone();

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
