#include "sync_packet.h"

#include "host.h"

#include <cmath>
#include <cstring>

namespace host {

void BitWriter::bit(bool value) { bits(value ? 1u : 0u, 1); }

// Whole bytes at a time: the partly written last byte and the new bits are
// put together in one word, which is stored byte by byte. The replay tool
// encodes millions of packets.
void BitWriter::bits(uint32_t value, int count) {
    if (count <= 0)
        return;
    auto n = static_cast<unsigned>(count < 32 ? count : 32);
    uint64_t wanted = n == 32 ? value : value & ((1u << n) - 1u);
    std::vector<unsigned char> &bytes = packet_.bytes;
    unsigned used = packet_.bitCount % 8;
    uint64_t word = 0;
    if (used != 0) {
        word = static_cast<uint64_t>(bytes.back()) << 56;
        bytes.pop_back();
    }
    word |= wanted << (64 - used - n);
    size_t at = bytes.size();
    size_t whole = (used + n + 7) / 8;
    bytes.resize(at + whole);
    for (size_t i = 0; i < whole; i++)
        bytes[at + i] = static_cast<unsigned char>(word >> (56 - 8 * i));
    packet_.bitCount += n;
}

void BitWriter::u16(uint16_t value) {
    u8(static_cast<uint8_t>(value));
    u8(static_cast<uint8_t>(value >> 8));
}

void BitWriter::u32(uint32_t value) {
    u16(static_cast<uint16_t>(value));
    u16(static_cast<uint16_t>(value >> 16));
}

void BitWriter::f32(float value) {
    uint32_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    u32(pattern);
}

namespace {

// Bits written into a fixed array: they gather in a word, from which each
// byte is stored once it is whole.
class FixedBits {
  public:
    explicit FixedBits(unsigned char (&out)[maxSyncBytes]) : out_(out) {}
    void bits(uint32_t value, unsigned n) {
        uint64_t wanted = n == 32 ? value : value & ((1u << n) - 1u);
        word_ = word_ << n | wanted;
        pending_ += n;
        count_ += n;
        while (pending_ >= 8) {
            pending_ -= 8;
            out_[at_++] = static_cast<unsigned char>(word_ >> pending_);
        }
    }
    void bit(bool value) { bits(value ? 1u : 0u, 1); }
    void u8(uint8_t value) { bits(value, 8); }
    void u16(uint16_t value) { bits(static_cast<uint32_t>((value & 0xFF) << 8 | value >> 8), 16); }
    void f32(float value) {
        uint32_t pattern;
        std::memcpy(&pattern, &value, sizeof pattern);
        u16(static_cast<uint16_t>(pattern));
        u16(static_cast<uint16_t>(pattern >> 16));
    }
    // Stores the last, partly written byte (its unused bits 0).
    void flush() {
        if (pending_ != 0)
            out_[at_++] = static_cast<unsigned char>(word_ << (8 - pending_));
        pending_ = 0;
    }
    uint32_t count() const { return count_; }

  private:
    unsigned char *out_;
    size_t at_ = 0;
    uint64_t word_ = 0;    // the bits not yet stored are its lowest
    unsigned pending_ = 0; // at most 7 between calls
    uint32_t count_ = 0;
};

// The packet's fields in the wire's order, through either writer.
template <typename Writer> void writeSync(Writer &w, const SyncPacket &s) {
    w.u8(playerSyncId);
    w.u16(s.playerId);
    w.bit(s.leftRight.has_value());
    if (s.leftRight)
        w.u16(*s.leftRight);
    w.bit(s.upDown.has_value());
    if (s.upDown)
        w.u16(*s.upDown);
    w.u16(s.keys);
    for (float p : s.position)
        w.f32(p);
    for (bool sign : s.quaternionSigns)
        w.bit(sign);
    for (uint16_t m : s.quaternionMagnitudes)
        w.u16(m);
    w.u8(s.healthArmour);
    w.u8(s.weapon);
    w.u8(s.specialAction);
    w.f32(s.velocityLength);
    if (s.velocityLength != 0.0f)
        for (uint16_t d : s.velocityDirections)
            w.u16(d);
    w.bit(s.surf.has_value());
    if (s.surf) {
        w.u16(s.surf->vehicleId);
        for (float o : s.surf->offset)
            w.f32(o);
    }
    w.bit(s.animation.has_value());
    if (s.animation) {
        w.u16(s.animation->id);
        w.u16(s.animation->flags);
    }
}

} // namespace

Packet encodeSync(const SyncPacket &s) {
    BitWriter w;
    writeSync(w, s);
    return std::move(w).finish();
}

uint32_t encodeSync(const SyncPacket &s, unsigned char (&out)[maxSyncBytes]) {
    FixedBits w(out);
    writeSync(w, s);
    w.flush();
    return w.count();
}

Packet truncated(const Packet &packet, uint32_t bitCount) {
    Packet cut;
    cut.bitCount = bitCount < packet.bitCount ? bitCount : packet.bitCount;
    cut.bytes.assign(packet.bytes.begin(), packet.bytes.begin() + (cut.bitCount + 7) / 8);
    // The bits past the end are set: a read that strayed past the end would
    // show them instead of the zeros a short packet leaves.
    if (cut.bitCount % 8 != 0)
        cut.bytes.back() |= static_cast<unsigned char>(0xFFu >> (cut.bitCount % 8));
    return cut;
}

bool deliver(const Packet &packet, int packetId) {
    return deliverPacket(packet.bytes.data(), packet.bitCount, packetId);
}

uint16_t unitWord(double c) {
    double u = std::floor((c + 1.0) * 32767.5 + 0.5);
    return static_cast<uint16_t>(u < 0 ? 0 : u > 65535 ? 65535 : u);
}

} // namespace host
