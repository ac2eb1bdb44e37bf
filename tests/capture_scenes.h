// Whole generated game sessions, and the other traffic a loose capture
// filter lets in around them, as the frames of an Ethernet capture: for the
// example files, the benchmarks and the tests that check a game reads the
// same with or without the noise.
#pragma once

#include "capture_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scenes {

using capwrite::Bytes;
using capwrite::Frame;

const uint64_t ms = 1000000;
const uint64_t second = 1000 * ms;
const uint64_t start = 1765200000000000000ull; // 2025-12-08, 13:20 UTC

const uint16_t keySprint = 0x08, keyJump = 0x20, keyFire = 0x04;

capwrite::Payload join(uint16_t id, uint32_t rgba, const std::string &name);

// The server's side of the connection in a timeline: its counters, the
// client's messages it still has to acknowledge, and the client's own
// scrambled datagrams (made-up bytes: nothing reads them but the check
// which side is which). Times are from `start`.
struct Session {
    capwrite::Timeline timeline;
    capwrite::Sender sender;
    uint16_t clientNumber = 0;
    unsigned noise = 1;

    void client(uint64_t at, size_t size);
    // Sends `messages` after the resent `again`; returns what was sent new.
    std::vector<capwrite::Message>
    server(uint64_t at, const std::vector<std::pair<capwrite::Payload, uint8_t>> &messages,
           bool ackClient = false, const std::vector<capwrite::Message> &again = {});
    void raw(uint64_t at, const Bytes &payload);
};

// A short session: the handshake (the client's request, the cookie, the
// request again, the reply), players joining, spectating, a cheater.
std::vector<Frame> example();
// How many records of example() the handshake takes: without them it is a
// session the capture joined late.
const size_t exampleHandshake = 4;
// `packets` foot-sync packets of 50 players, each sending 30 a second.
// `live`: player 7 spectated and ten players cheating by turns.
std::vector<Frame> syncSession(uint64_t packets, bool live);
// A capture taken on the server: `clients` players connecting in turn, then
// every tenth of a second each gets a datagram of foot sync and sends one,
// for `seconds`.
std::vector<Frame> serverWithClients(unsigned clients, unsigned seconds);

// ---- Other traffic, from `from` to `to` (capture times) ----

// A voice call: datagrams of 172 bytes, 50 a second each way, between
// two other machines.
std::vector<Frame> voice(uint64_t from, uint64_t to, uint32_t seed = 1);
// Name lookups from the player's machine, each from a new port, and their
// answers: one datagram each way, every `every` ns.
std::vector<Frame> dnsAnswers(uint64_t from, uint64_t to, uint64_t every);
// `flows` flows of one datagram each, spread evenly: random bytes, and some
// shaped like the game's (a connection reply, a cookie request, message
// blocks).
std::vector<Frame> flood(uint64_t from, uint64_t to, size_t flows);
// `flows` busy one-way flows of the game's own message blocks, from port
// 7777 of other machines, `perSecond` datagrams each.
std::vector<Frame> oneWay(uint64_t from, uint64_t to, unsigned flows, unsigned perSecond);

// A game's frames among others, in time order (at equal times the game's
// first), and for each record the number it has in the game alone (0 for
// other traffic).
struct Mixed {
    std::vector<Frame> frames;
    std::vector<uint64_t> gameRecord;
};
Mixed mix(const std::vector<Frame> &game, const std::vector<std::vector<Frame>> &others);

} // namespace scenes
