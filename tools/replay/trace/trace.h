// A trace: a recorded or written session, one event a line, that the
// replay tool plays to the plugin. Reading a line touches no host.
#pragma once

#include "events.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace replay {

struct TraceError {
    uint64_t line; // counted from 1
    std::string message;
    // "LINE: message"
    std::string describe() const;
};

// Reads trace lines one at a time. One JSON parser serves every line: its
// memory is reused, so a usual line costs no allocation.
// The '\n's in `text`.
uint64_t countLineEnds(std::string_view text);

class LineReader {
  public:
    // Bytes after a line's end that must be readable (never read as part of
    // the line): the JSON parser loads its input in whole blocks.
    static constexpr size_t padding = 64;

    LineReader();
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // Reads `line` (without its line end; `padding` readable bytes after
    // it) into `event`. Returns what is wrong with a bad line.
    std::optional<std::string> read(std::string_view line, Event &event);

    // Where readLines hands each event, with its line number within the
    // piece (counted from 1).
    class Take {
      public:
        virtual ~Take() = default;
        virtual void sync(const Sync &sync, uint64_t line) = 0;
        virtual void event(Event &event, uint64_t line) = 0; // any but a Sync
    };

    // Reads a piece of whole lines at once, which is quicker than line by
    // line. The piece's comment lines must have been blanked (see
    // blankComments), and `padding` bytes after it readable. False when a
    // line is one that reading line by line must decide (a bad line, say):
    // then the events handed over so far are to be dropped and the piece
    // read line by line. `lineEnds` is set to the piece's line ends.
    bool readLines(std::string_view piece, Take &take, uint64_t &lineEnds);

    // A blank line, or one whose first non-blank character is '#' (blanks
    // being spaces, tabs and CRs).
    static bool skipped(std::string_view line);
    // Turns every comment line of `lines` into spaces, line ends kept.
    static void blankComments(char *lines, size_t size);

  private:
    struct Parser;
    std::unique_ptr<Parser> parser_;
};

// Either every event of the trace, or the first bad line and no events.
// For tests and small texts: the tool itself streams (trace_file.h).
struct ParsedTrace {
    std::vector<Event> events;
    std::optional<TraceError> error;
};

ParsedTrace parseTrace(std::string_view text);

} // namespace replay
