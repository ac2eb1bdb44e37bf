// What the runner hands on, as it happens, to each output the command line
// asked for (the transcript, the summary, the pictures...). The runner calls
// a list of them in turn; each keeps only what it needs. A new output is a
// class overriding what it cares about, and one line where main.cpp builds
// the list.
//
// Every call carries a Place: the origin (trace line or capture record) of
// the event that caused it, the host's tick and the seconds from the first
// event. Calls come in the order things happened.
#pragma once

#include "events.h"
#include "host.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace replay {

// How things stood when the run ended.
struct RunEnd {
    double seconds = 0; // the session's length, from the first event
    // The screen size and the overlay font's line height in force.
    int32_t width = 1920, height = 1080;
    float fontHeight = 14.0f;
};

class Output {
  public:
    virtual ~Output() = default;

    // Whether the output wants every packet, each sync packet judged as
    // the plugin judged it (packet() below). Judging every packet costs a
    // second decoding of each; when no output of the list wants it, the
    // runner judges only the few packets behind a warning.
    virtual bool needsEveryPacket() const { return false; }

    // An event begins (a trace line, a capture record's packet).
    virtual void event(const Place & /*place*/) {}
    // One effect other than drawn text: a chat line (a warning's place
    // then says what it was about), a position write, a cursor change...
    virtual void effect(const host::Effect & /*effect*/, const Place & /*place*/) {}
    // One render pass that drew: every label of it, in order.
    virtual void pass(const std::vector<host::TextDrawn> & /*labels*/, const Place & /*place*/) {}
    // Every packet handed to the plugin (any id), with what the plugin's
    // detection made of it. Called only when an output of the list
    // needsEveryPacket().
    virtual void packet(int /*id*/, const SyncStep & /*step*/, const Place & /*place*/) {}
    // Every RPC handed to the plugin.
    virtual void rpc(int /*id*/, const unsigned char * /*data*/, uint32_t /*bitCount*/,
                     const Place & /*place*/) {}
    // An RPC set the spectate target: to `player` (none: spectating ends),
    // whom the host names `name` (Windows-1251; empty without a name). The
    // target already in force may be set again.
    virtual void spectate(std::optional<uint16_t> /*player*/, const std::string & /*name*/,
                          const Place & /*place*/) {}
    // A player's entry changed: the name (Windows-1251; none: the host has
    // none) and the colour (0xAARRGGBB) now in force.
    virtual void player(uint16_t /*id*/, const std::optional<std::string> & /*name*/,
                        uint32_t /*colour*/, const Place & /*place*/) {}
    // The input is about to wait: let the user see what came so far.
    virtual void flush() {}
    // The run is over. Called in the list's order, so that an output may
    // use the final figures of one before it.
    virtual void finish(const RunEnd & /*end*/) {}
};

} // namespace replay
