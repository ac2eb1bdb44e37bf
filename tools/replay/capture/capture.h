// A packet capture of a game session as replay events: what the game
// client's network layer handed up (packets with their exact bit lengths,
// RPCs with their parameter bits), the player pool the server described,
// and the frames and clock of the capture's time line.
//
// Each event comes with the 1-based number of the capture record that
// caused it. The capture is read once, front to back, so it may be a
// stream, and the game may begin anywhere in it: until the game server is
// known, a window of the latest records is held (bounded) and played as
// soon as it is. A stream is waited on for as long as it runs.
#pragma once

#include "container.h"
#include "events.h"
#include "report.h"
#include "source.h"
#include "udp.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace capture {

// A packet the client's network layer handed up: its bytes from the
// identifier byte on (living until the call returns), its length in bits,
// its identifier, and the record it came in.
using PacketSink = std::function<void(const unsigned char *bytes, uint32_t bitCount, uint32_t id,
                                      uint64_t record)>;

struct Options {
    std::optional<Endpoint> server; // nullopt: found from the traffic
    // The client whose view runs, in a capture taken on the server (which
    // holds its datagrams to every client); nullopt: the first one.
    std::optional<Endpoint> client;
    uint32_t frameMs = 50; // a frame every this many ms of capture time
    // Called once per record with whether it was used or skipped; for tests.
    std::function<void(uint64_t record, bool used)> onRecord;
    // Called once, when `waitingNs` of capture time have gone by with no
    // game found yet: a line for standard error telling what was seen.
    std::function<void(const std::string &line)> onWaiting;
    uint64_t waitingNs = 10'000'000'000ull;
    // Called with every record of the file as it is read, whatever becomes
    // of it: for writing the capture again.
    RecordHook everyRecord;
    // When set, packets come here instead of to the event sink as Packet
    // events: nearly every record of a game is one, and this way they are
    // neither copied nor wrapped on the way.
    PacketSink packets;
};

using EventSink = std::function<void(const replay::Event &event, uint64_t record)>;

struct Result {
    // Empty when the capture was read; else why not (no capture, no
    // server, several possible servers...). Nothing was handed to the sink
    // then.
    std::string error;
    Endpoint server;
    Report report;
};

// The window held while the game is looked for: at most this many records
// and bytes, the oldest dropped first.
const size_t maxHeldRecords = 4096;
const size_t maxHeldBytes = 8u << 20;

// The host's settings at the start: those of a trace.
const uint32_t startTick = 1000000;

Result readCapture(ByteSource &in, const Options &options, const EventSink &sink);
Result readCapture(std::FILE *in, const Options &options, const EventSink &sink);

// What to tell the user on standard error after a run: the notes, a
// truncated last record, a capture unreadable from some point on, and what
// was skipped. One line each, no line ends.
std::vector<std::string> messagesOf(const Result &result);

} // namespace capture
