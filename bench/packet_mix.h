// The packets the benchmarks deliver, built once outside any timed loop.
//
// The player-sync mix is what a busy server relays: 64 players, most of
// them moving, with and without the optional blocks (the two movement
// words, surfing, the animation), one of them spectated, some of them
// jumping, and a share of packets that the sprint-hook detection counts as
// suspect. No run of suspect packets is long enough to post a warning, even
// when the mix is delivered over and over, so the hook's path per packet
// stays the one a player meets on nearly every packet.
#pragma once

#include "sync_packet.h"

#include <cstdint>
#include <vector>

namespace bench {

const uint16_t spectatedPlayer = 7;

struct WirePacket {
    const unsigned char *data;
    uint32_t bitCount;
    int id;
};

struct PacketMix {
    std::vector<host::Packet> storage;
    std::vector<WirePacket> packets; // a power of two of them, into storage

    // What the mix holds, counted while it was built.
    int withLeftRight = 0, withUpDown = 0, moving = 0, surfing = 0, withAnimation = 0;
    int jumping = 0, spectated = 0, suspect = 0;
};

PacketMix syncPacketMix();
// Packets of other identifiers (vehicle, aim, bullet, unoccupied and
// passenger sync), which the plugin's packet hook lets pass unread.
PacketMix otherPacketMix();

// `count` suspect packets of `player` in a row, of the same make as the
// mix's suspect ones. Five of them post a warning: the benchmarks check with
// this that the mix's suspect packets are what the plugin calls suspect.
std::vector<host::Packet> suspectRun(uint16_t player, int count);

bool deliver(const WirePacket &packet);

} // namespace bench
