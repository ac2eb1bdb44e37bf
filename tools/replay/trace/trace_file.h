// A trace read from a file or from standard input, streaming, in one of two
// ways: a first pass checks every line and a second reads the lines again
// and hands their events over in order; or one pass does both, handing
// each chunk's events over while the next chunk is read and checked. Every
// pass reads fixed-size chunks and each chunk's lines in parallel pieces,
// so memory stays the same however long the trace.
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
    // The bytes read at a time (a line longer than that is read whole):
    // 1 MiB reads a long trace faster than 4 MiB did, in half the memory.
    static const size_t defaultChunkSize = 1 << 20;

    explicit TraceFile(size_t chunkSize = defaultChunkSize) : chunkSize_(chunkSize) {}
    ~TraceFile();
    TraceFile(const TraceFile &) = delete;
    TraceFile &operator=(const TraceFile &) = delete;

    // Opens the trace at `path`, or standard input for "-". False, with the
    // reason in readError(), when it cannot be opened.
    bool open(const std::string &path);

    // Where the events go, in order, with their line numbers (counted from
    // 1, blank and comment lines included). Both are called on one thread
    // at a time, though not always the same one.
    struct Play {
        // Any event but a player-sync one.
        std::function<void(const Event &, uint64_t line)> event;
        // A player-sync event, as the packet it is sent as (built on the way).
        std::function<void(const unsigned char *bytes, uint32_t bitCount, uint64_t line)> sync;
    };

    // The first of two passes: reads and checks every line. The first bad
    // line, or nothing when every line is good (or reading failed: see
    // readError()). Standard input is kept in a temporary file on the way,
    // for the second pass.
    std::optional<TraceError> check();
    // The second pass, after a check that found nothing: hands every event
    // to `play`. False when reading failed.
    bool play(const Play &play);

    // One pass that checks and plays at once: each event is handed to
    // `play` once every line before it has been found good. At a bad line
    // it stops and returns it; the events played before it are then the
    // caller's to undo (discarding what they did), for the trace as a whole
    // is bad.
    std::optional<TraceError> checkAndPlay(const Play &play);

    // Called after each chunk with the bytes read so far (left out: not
    // called), on the thread that runs the pass.
    std::function<void(uint64_t bytes)> progress;

    // The events the check found.
    uint64_t events() const { return events_; }
    // Why opening or reading failed, empty if it did not.
    const std::string &readError() const { return readError_; }

  private:
    size_t chunkSize_;
    std::FILE *file_ = nullptr;
    std::FILE *spool_ = nullptr; // standard input, as the check read it
    bool ownsFile_ = false;
    bool stdin_ = false;
    uint64_t events_ = 0;
    std::string readError_;

    // Reads `in` (copied to `copy` on the way, unless null), playing the
    // events unless `play` is null.
    std::optional<TraceError> pass(std::FILE *in, std::FILE *copy, const Play *play);
};

} // namespace replay
