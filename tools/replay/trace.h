// A trace: a recorded or written session, one event a line, that the
// replay tool plays to the plugin. Reading a line touches no host; the
// events are what every source of the tool (a trace, a capture) hands to
// the runner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace replay {

// ---- Host settings ----
struct SetTick {
    uint32_t tick;
};
struct Advance {
    uint32_t ms;
};
struct SetGame {
    std::optional<int32_t> state; // nullopt: no game object
};
struct SetSampReady {
    bool ready;
};
struct SetPlayer {
    uint16_t id;
    // Outer nullopt: left out, the entry keeps its name. Inner: no name.
    std::optional<std::optional<std::string>> name; // Windows-1251
    std::optional<uint32_t> colour;                 // 0xAARRGGBB
};
struct SetScreen {
    int32_t width, height;
};
struct SetCursor {
    int32_t x, y;
};
struct SetLeftButton {
    bool pressed;
};
struct SetMenu {
    bool active;
};
struct SetCanDraw {
    bool canDraw;
};
struct SetBeginRender {
    int32_t result;
};
struct SetFontHeight {
    float height;
};
struct SetFontFails {
    bool fails;
};

// ---- Events that reach the plugin ----
struct Frames {
    uint32_t count;
};
struct Packet {
    std::vector<unsigned char> bytes;
    uint32_t bitCount;
    uint32_t id;
};
// A player-sync packet's fields as the trace gives them, before encoding.
struct Sync {
    uint16_t player = 0;
    uint16_t keys = 0;
    std::optional<uint16_t> leftRight, upDown;
    float position[3] = {0, 0, 0};
    double quaternion[4] = {1, 0, 0, 0}; // w, x, y, z
    int health = 100, armour = 0;
    uint8_t weapon = 0, specialAction = 0;
    double velocity[3] = {0, 0, 0};
    struct Surf {
        uint16_t vehicle;
        float offset[3];
    };
    std::optional<Surf> surf;
    struct Animation {
        uint16_t id;
        uint16_t flags; // the 16 bits as sent; -32766 is 0x8002
    };
    std::optional<Animation> animation;
};
struct Rpc {
    uint32_t id;
    std::vector<unsigned char> data;
    uint32_t bitCount; // the parameters' length: at most 8 x the bytes
};
struct Spectate {
    std::optional<uint16_t> player; // nullopt: spectating ends
};
struct Command {
    std::string name, args; // Windows-1251
};

using Event = std::variant<SetTick, Advance, SetGame, SetSampReady, SetPlayer, SetScreen, SetCursor,
                           SetLeftButton, SetMenu, SetCanDraw, SetBeginRender, SetFontHeight,
                           SetFontFails, Frames, Packet, Sync, Rpc, Spectate, Command>;

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

    // A blank line, or one whose first non-blank character is '#'.
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
