// A trace read from a file or from standard input, streaming: a first pass
// checks every line, a second reads the lines again and hands their events
// over in order. Both read fixed-size chunks and read each chunk's lines
// in parallel pieces, so memory stays the same however long the trace.
#pragma once

#include "trace.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace replay {

class TraceFile {
  public:
    // The bytes read at a time (a line longer than that is read whole).
    static const size_t defaultChunkSize = 4 << 20;

    explicit TraceFile(size_t chunkSize = defaultChunkSize) : chunkSize_(chunkSize) {}
    ~TraceFile();
    TraceFile(const TraceFile &) = delete;
    TraceFile &operator=(const TraceFile &) = delete;

    // Opens the trace at `path`, or standard input for "-". False, with the
    // reason in readError(), when it cannot be opened.
    bool open(const std::string &path);
    // Reads `file` (from its start; it stays open) instead of a path.
    void use(std::FILE *file) { file_ = file; }

    // The first pass: reads and checks every line. The first bad line, or
    // nothing when every line is good (or reading failed: see readError()).
    // Standard input is kept in a temporary file on the way, for the
    // second pass.
    std::optional<TraceError> check();

    // The second pass, after a check that found nothing: hands every event
    // to `run` in order, with its line number (counted from 1, blank and
    // comment lines included). A sync event arrives as the Packet it is
    // sent as, built on the way. `run` is called on one thread at a time,
    // though not always the same one. False when reading failed.
    bool play(const std::function<void(const Event &, uint64_t line)> &run);

    // The events the check found.
    uint64_t events() const { return events_; }
    // Why opening or reading failed, empty if it did not.
    const std::string &readError() const { return readError_; }

  private:
    size_t chunkSize_;
    std::FILE *file_ = nullptr;
    std::FILE *spool_ = nullptr; // standard input, as the check read it
    bool ownsFile_ = false;
    uint64_t events_ = 0;
    std::string readError_;
};

} // namespace replay
