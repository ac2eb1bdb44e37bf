// What crosses between the tool's stages, and nothing else: the events a
// source (a trace, a capture) hands to the runner, and the place the runner
// gives each effect it hands on to the outputs (the effects themselves are
// the stand-in host's, host::Effect). Includes nothing of the tool, so that
// every stage may include it and none has to include another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// What the plugin's detection made of one packet, as the runner follows
// it beside the plugin (run/suspect.h) for the outputs. `decoded` is false
// for anything the detection never sees (not a player sync packet, a
// player id of 1000 or more, a dead player); the rest is then zero.
struct SyncStep {
    bool decoded = false;
    uint16_t player = 0;
    bool suspect = false;
    int32_t run = 0;            // suspect packets in a row after this one
    int32_t runEnded = 0;       // length of the run this packet broke, else 0
    bool runShort = false;      // `run` is a run that asked for no warning (yet)
    bool runEndedShort = false; // the run this packet broke asked for none
    float speed = 0;            // as the test measures it
    uint16_t keys = 0;          // the keys word
};

// One suspect sync packet, as the plugin judged it: where it came from,
// when, and what the sprint-hook tests looked at.
struct SuspectPacket {
    uint64_t origin = 0; // the trace line or capture record
    uint32_t tick = 0;   // the host's tick counter when it arrived
    double seconds = 0;  // from the first event
    float speed = 0;     // as the test measures it
    uint16_t keys = 0;   // the keys word
    uint16_t animationId = 0;
    int16_t animationFlags = 0;
    uint32_t gapMs = 0; // since the player's previous sync packet
};

// What a warning line was about: the player, and the suspect packets of the
// run that made it (the last five at most, oldest first).
struct WarningCause {
    uint16_t player = 0;
    std::string name; // Windows-1251, as the host names the player
    std::vector<SuspectPacket> evidence;
};

// Where and when an effect happened.
struct Place {
    uint64_t origin; // the trace line (or capture record) of the event that caused it
    uint32_t tick;   // the host's tick counter
    double seconds;  // from the first event
    // For a warning line: what it was about; else null.
    const WarningCause *warning = nullptr;
};

} // namespace replay
