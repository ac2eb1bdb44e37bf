// Writes what a capture reader reads, for tests and generated examples: the
// game server's datagrams (messages with their headers, acknowledgements,
// split parts, RPC framing, the optional scrambling), wrapped in UDP, IPv4
// and a link layer, in pcap or pcapng files.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace capwrite {

using Bytes = std::vector<unsigned char>;

// Bits in the wire's order: most significant first within each byte.
class Bits {
  public:
    void bit(bool b);
    void bits(uint32_t value, unsigned count); // the low `count` bits, top first
    void u8(uint32_t v) { bits(v, 8); }
    void u16(uint32_t v); // lowest byte first
    void u32(uint32_t v);
    // The compressed form of an unsigned integer of `width` bytes.
    void compressed(uint32_t value, unsigned width);
    void align();
    void append(const Bytes &data, uint32_t count); // the first `count` bits of data
    uint32_t size() const { return size_; }
    const Bytes &bytes() const { return bytes_; }

  private:
    Bytes bytes_;
    uint32_t size_ = 0;
};

// A message of the reliability layer as the server writes it.
struct Message {
    uint16_t number = 0;
    uint8_t reliability = 9; // 6 unreliable ... 10 reliable sequenced
    uint8_t channel = 0;
    uint16_t orderingIndex = 0;
    bool split = false;
    uint16_t splitId = 0;
    uint32_t splitIndex = 0, splitCount = 0;
    Bytes data;
    uint32_t bits = 0;
};

// Whole data: `bytes` of it, 8 bits each.
struct Payload {
    Bytes data;
    uint32_t bits;
};
Payload whole(Bytes data);
// An RPC message: [40 time] [20] id, parameter length (compressed), the
// parameters unaligned.
Payload rpc(uint8_t id, const Bytes &params, uint32_t paramBits, bool timestamp = false);
// A player's foot-sync packet (207) of `bits` bits, keys and a speed.
Payload footSync(uint16_t player, uint16_t keys, float speed);

// One datagram: the acknowledgement ranges (inclusive), then the messages.
Bytes datagram(const std::vector<Message> &messages,
               const std::vector<std::pair<uint16_t, uint16_t>> &acks = {});

// The server's side of one connection: its counters, as a new connection
// starts them, and how it splits a message too long for a datagram.
class Sender {
  public:
    // Every part of one message (one when it fits in `mtu`).
    std::vector<Message> send(const Payload &payload, uint8_t reliability, uint8_t channel,
                              uint32_t mtu = 576);
    uint16_t nextNumber = 0;
    uint16_t nextSplitId = 0;
    std::map<uint8_t, uint16_t> nextOrdered, nextSequenced;
};

// [checksum] then each byte XORed with key[i % 4].
Bytes scramble(const Bytes &plain, const std::array<unsigned char, 4> &key);
Bytes keyDatagram(const std::array<unsigned char, 4> &key);

struct Address {
    uint32_t ip;
    uint16_t port;
};
// An IPv4 packet holding a UDP datagram; `fragment` splits it into IPv4
// fragments of that many payload bytes (a multiple of 8), 0 for none.
std::vector<Bytes> ipv4Udp(const Address &from, const Address &to, const Bytes &payload,
                           uint16_t id = 1, size_t fragment = 0);
Bytes ethernet(const Bytes &ipPacket, int vlanTags = 0);
Bytes linuxCooked(const Bytes &ipPacket, int version); // 1 or 2
Bytes loopback(const Bytes &ipPacket, bool bigEndian);

struct Frame {
    uint64_t timeNs;
    Bytes data;
    uint32_t interface = 0;
    uint32_t originalLength = 0; // 0: the data's length
};

// A classic pcap file.
Bytes pcap(const std::vector<Frame> &frames, uint32_t linkType, bool nanoseconds = false,
           bool bigEndian = false);
// A pcapng file; interfaces are (link type, if_tsresol byte). `simple`
// writes simple packet blocks (no time, interface 0).
struct Interface {
    uint16_t linkType;
    uint8_t tsresol = 6;
};
Bytes pcapng(const std::vector<Frame> &frames, const std::vector<Interface> &interfaces,
             bool bigEndian = false, bool simple = false);

// ---- A whole session, for examples and benchmarks ----

const Address serverAddress{0xC0A80A0Au, 7777};  // 192.168.10.10
const Address clientAddress{0xC0A80A14u, 51234}; // 192.168.10.20

// Server datagrams with their capture times, as records of one file.
struct Timeline {
    std::vector<Frame> frames;
    uint16_t ipId = 1;
    void fromServer(uint64_t timeNs, const Bytes &payload);
    void fromClient(uint64_t timeNs, const Bytes &payload);
};

bool writeFile(const std::string &path, const Bytes &bytes);

} // namespace capwrite
