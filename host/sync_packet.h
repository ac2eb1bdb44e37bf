// Builds incoming packets bit by bit, in the wire's order (most significant
// bit of each byte first), so that tests and tools say what a packet holds
// instead of writing hex by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace host {

struct Packet {
    std::vector<unsigned char> bytes;
    uint32_t bitCount = 0;
};

class BitWriter {
  public:
    // Room for a whole player-sync packet from the start.
    BitWriter() { packet_.bytes.reserve(64); }
    void bit(bool value);
    // Writes `count` bits of `value`, the most significant of them first.
    void bits(uint32_t value, int count);
    // Whole bytes in memory order, as the host's ReadBits gives them back:
    // a little-endian word's low byte first.
    void u8(uint8_t value) { bits(value, 8); }
    void u16(uint16_t value);
    void u32(uint32_t value);
    void f32(float value);
    Packet finish() const & { return packet_; }
    Packet finish() && { return std::move(packet_); }

  private:
    Packet packet_;
};

// A player-sync packet (identifier 207) as its fields stand on the wire.
struct SyncPacket {
    uint16_t playerId = 0;
    std::optional<uint16_t> leftRight;
    std::optional<uint16_t> upDown;
    uint16_t keys = 0;
    float position[3] = {0, 0, 0};
    bool quaternionSigns[4] = {false, false, false, false}; // w, x, y, z
    uint16_t quaternionMagnitudes[3] = {0, 0, 0};           // x, y, z
    uint8_t healthArmour = 0xF0;                            // health 100, armour 0
    uint8_t weapon = 0;
    uint8_t specialAction = 0;
    float velocityLength = 0.0f;
    // Written only when velocityLength is not 0.0: the unit directions as
    // 16-bit values, 0 for -1.0 and 65535 for 1.0.
    uint16_t velocityDirections[3] = {32768, 32768, 32768};
    struct Surf {
        uint16_t vehicleId;
        float offset[3];
    };
    std::optional<Surf> surf;
    struct Animation {
        uint16_t id;
        uint16_t flags;
    };
    std::optional<Animation> animation;
};

const uint8_t playerSyncId = 207;

// The most bytes a player-sync packet takes: 472 bits with every optional
// part present.
const size_t maxSyncBytes = 59;

Packet encodeSync(const SyncPacket &sync);
// The same packet written into `out` without touching the heap (the replay
// tool builds millions); returns its length in bits.
uint32_t encodeSync(const SyncPacket &sync, unsigned char (&out)[maxSyncBytes]);

// The first `bitCount` bits of `packet`: a packet cut short on the wire.
Packet truncated(const Packet &packet, uint32_t bitCount);

// Hands `packet` to the plugin's incoming-packet hooks under `packetId`.
bool deliver(const Packet &packet, int packetId = playerSyncId);

// The unit value whose decoding, u * (2 / 65535) - 1, is nearest to `c`
// (clamped to [-1, 1]).
uint16_t unitWord(double c);

} // namespace host
