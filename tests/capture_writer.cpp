#include "capture_writer.h"

#include "sync_packet.h"

#include <cstdio>

namespace capwrite {

void Bits::bit(bool b) {
    if (size_ % 8 == 0)
        bytes_.push_back(0);
    if (b)
        bytes_.back() = static_cast<unsigned char>(bytes_.back() | (0x80u >> (size_ % 8)));
    size_++;
}
void Bits::bits(uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;)
        bit(((value >> i) & 1u) != 0);
}
void Bits::u16(uint32_t v) {
    u8(v & 0xFFu);
    u8((v >> 8) & 0xFFu);
}
void Bits::u32(uint32_t v) {
    u16(v & 0xFFFFu);
    u16(v >> 16);
}
void Bits::compressed(uint32_t value, unsigned width) {
    for (unsigned j = width - 1; j >= 1; j--) {
        if (((value >> (8 * j)) & 0xFFu) == 0) {
            bit(true);
            continue;
        }
        bit(false);
        for (unsigned i = 0; i <= j; i++)
            u8((value >> (8 * i)) & 0xFFu);
        return;
    }
    uint32_t low = value & 0xFFu;
    if (low < 16) {
        bit(true);
        bits(low, 4);
    } else {
        bit(false);
        u8(low);
    }
}
void Bits::align() {
    while (size_ % 8 != 0)
        bit(false);
}
void Bits::append(const Bytes &data, uint32_t count) {
    for (uint32_t i = 0; i < count; i++)
        bit(((data[i / 8] >> (7 - i % 8)) & 1u) != 0);
}

Payload whole(Bytes data) {
    auto bits = static_cast<uint32_t>(data.size() * 8);
    return {std::move(data), bits};
}

Payload rpc(uint8_t id, const Bytes &params, uint32_t paramBits, bool timestamp) {
    Bits b;
    if (timestamp) {
        b.u8(40);
        b.u32(123456);
    }
    b.u8(20);
    b.u8(id);
    b.compressed(paramBits, 4);
    b.append(params, paramBits);
    if (paramBits == 0)
        b.compressed(0, 4);
    return {b.bytes(), b.size()};
}

Payload footSync(uint16_t player, uint16_t keys, float speed) {
    host::SyncPacket s;
    s.playerId = player;
    s.keys = keys;
    s.position[0] = 1500.0f + static_cast<float>(player);
    s.position[1] = -1600.0f;
    s.position[2] = 13.5f;
    s.velocityLength = speed;
    s.velocityDirections[0] = 65535; // along x
    host::Packet p = host::encodeSync(s);
    return {p.bytes, p.bitCount};
}

Bytes datagram(const std::vector<Message> &messages,
               const std::vector<std::pair<uint16_t, uint16_t>> &acks) {
    Bits b;
    b.bit(!acks.empty());
    if (!acks.empty()) {
        b.compressed(static_cast<uint32_t>(acks.size()), 2);
        for (auto [lo, hi] : acks) {
            b.bit(lo == hi);
            b.u16(lo);
            if (lo != hi)
                b.u16(hi);
        }
    }
    for (const Message &m : messages) {
        b.u16(m.number);
        b.bits(m.reliability, 4);
        if (m.reliability == 7 || m.reliability == 9 || m.reliability == 10) {
            b.bits(m.channel, 5);
            b.u16(m.orderingIndex);
        }
        b.bit(m.split);
        if (m.split) {
            b.u16(m.splitId);
            b.compressed(m.splitIndex, 4);
            b.compressed(m.splitCount, 4);
        }
        b.compressed(m.bits, 2);
        b.align();
        b.append(m.data, (m.bits + 7) / 8 * 8);
    }
    return b.bytes();
}

std::vector<Message> Sender::send(const Payload &payload, uint8_t reliability, uint8_t channel,
                                  uint32_t mtu) {
    Message m;
    m.reliability = reliability;
    m.channel = channel;
    bool ordered = reliability == 9, sequenced = reliability == 7 || reliability == 10;
    if (ordered)
        m.orderingIndex = nextOrdered[channel]++;
    if (sequenced)
        m.orderingIndex = nextSequenced[channel]++;
    // The header estimate: 53 bits, 74 with a channel, 80 more when split.
    uint32_t header = ordered || sequenced ? 74 : 53;
    uint32_t bytes = (payload.bits + 7) / 8;
    if (bytes <= mtu - 28 - (header + 7) / 8) {
        m.number = nextNumber++;
        m.data = payload.data;
        m.bits = payload.bits;
        return {m};
    }
    uint32_t block = mtu - 28 - (header + 80 + 7) / 8;
    uint32_t count = (bytes + block - 1) / block;
    std::vector<Message> parts;
    m.split = true;
    m.splitId = nextSplitId++;
    m.splitCount = count;
    for (uint32_t i = 0; i < count; i++) {
        Message part = m;
        part.number = nextNumber++;
        part.splitIndex = i;
        uint32_t from = i * block, to = std::min(bytes, from + block);
        part.data.assign(payload.data.begin() + from, payload.data.begin() + to);
        // Whole blocks count 8 bits a byte, and so does a last part that
        // happens to be a whole block; a shorter last part keeps the bits.
        part.bits = to - from == block ? block * 8 : payload.bits - from * 8;
        parts.push_back(part);
    }
    return parts;
}

Bytes scramble(const Bytes &plain, const std::array<unsigned char, 4> &key) {
    Bytes out(plain.size() + 1);
    unsigned checksum = 0;
    for (size_t i = 0; i < plain.size(); i++) {
        checksum ^= plain[i] & 0xAAu;
        out[i + 1] = static_cast<unsigned char>(plain[i] ^ key[i % 4]);
    }
    out[0] = static_cast<unsigned char>(checksum);
    return out;
}

Bytes keyDatagram(const std::array<unsigned char, 4> &key) {
    return {94, 'p', 'm', 'o', 0, key[0], key[1], key[2], key[3], 0x04, 0x01, 0x00, 0x00};
}

namespace {

void big16(Bytes &b, size_t at, uint32_t v) {
    b[at] = static_cast<unsigned char>(v >> 8);
    b[at + 1] = static_cast<unsigned char>(v);
}
void big32(Bytes &b, size_t at, uint32_t v) {
    big16(b, at, v >> 16);
    big16(b, at + 2, v & 0xFFFFu);
}

} // namespace

std::vector<Bytes> ipv4Udp(const Address &from, const Address &to, const Bytes &payload,
                           uint16_t id, size_t fragment) {
    Bytes udp(8);
    big16(udp, 0, from.port);
    big16(udp, 2, to.port);
    big16(udp, 4, static_cast<uint32_t>(payload.size() + 8));
    udp.insert(udp.end(), payload.begin(), payload.end());
    size_t piece = fragment == 0 ? udp.size() : fragment;
    std::vector<Bytes> packets;
    for (size_t at = 0; at < udp.size(); at += piece) {
        size_t n = std::min(piece, udp.size() - at);
        Bytes ip(20);
        ip[0] = 0x45;
        big16(ip, 2, static_cast<uint32_t>(20 + n));
        big16(ip, 4, id);
        bool more = at + n < udp.size();
        big16(ip, 6, (more ? 0x2000u : 0u) | static_cast<uint32_t>(at / 8));
        ip[8] = 64;
        ip[9] = 17;
        big32(ip, 12, from.ip);
        big32(ip, 16, to.ip);
        uint32_t sum = 0;
        for (size_t i = 0; i < 20; i += 2)
            sum += static_cast<uint32_t>(ip[i] << 8 | ip[i + 1]);
        while (sum > 0xFFFF)
            sum = (sum & 0xFFFF) + (sum >> 16);
        big16(ip, 10, ~sum & 0xFFFFu);
        ip.insert(ip.end(), udp.begin() + static_cast<long>(at),
                  udp.begin() + static_cast<long>(at + n));
        packets.push_back(ip);
    }
    return packets;
}

Bytes ethernet(const Bytes &ipPacket, int vlanTags) {
    Bytes f = {0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01};
    for (int i = 0; i < vlanTags; i++) {
        f.insert(f.end(), {0x81, 0x00, 0x00, static_cast<unsigned char>(10 + i)});
    }
    f.insert(f.end(), {0x08, 0x00});
    f.insert(f.end(), ipPacket.begin(), ipPacket.end());
    while (f.size() < 60)
        f.push_back(0); // the Ethernet minimum, padding after the IP packet
    return f;
}

Bytes linuxCooked(const Bytes &ipPacket, int version) {
    Bytes f;
    if (version == 1) {
        f = {0, 0, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0, 0x08, 0x00};
    } else {
        f = {0x08, 0x00, 0, 0, 0, 0, 0, 2, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0};
    }
    f.insert(f.end(), ipPacket.begin(), ipPacket.end());
    return f;
}

Bytes loopback(const Bytes &ipPacket, bool bigEndian) {
    Bytes f = bigEndian ? Bytes{0, 0, 0, 2} : Bytes{2, 0, 0, 0};
    f.insert(f.end(), ipPacket.begin(), ipPacket.end());
    return f;
}

namespace {

class Out {
  public:
    explicit Out(bool bigEndian) : big_(bigEndian) {}
    void u16(uint32_t v) {
        if (big_) {
            b.push_back(static_cast<unsigned char>(v >> 8));
            b.push_back(static_cast<unsigned char>(v));
        } else {
            b.push_back(static_cast<unsigned char>(v));
            b.push_back(static_cast<unsigned char>(v >> 8));
        }
    }
    void u32(uint32_t v) {
        if (big_) {
            u16(v >> 16);
            u16(v & 0xFFFFu);
        } else {
            u16(v & 0xFFFFu);
            u16(v >> 16);
        }
    }
    void raw(const Bytes &data) { b.insert(b.end(), data.begin(), data.end()); }
    void pad4() {
        while (b.size() % 4 != 0)
            b.push_back(0);
    }
    Bytes b;

  private:
    bool big_;
};

} // namespace

Bytes pcap(const std::vector<Frame> &frames, uint32_t linkType, bool nanoseconds, bool bigEndian) {
    Out o(bigEndian);
    o.u32(nanoseconds ? 0xA1B23C4Du : 0xA1B2C3D4u);
    o.u16(2);
    o.u16(4);
    o.u32(0);
    o.u32(0);
    o.u32(262144);
    o.u32(linkType);
    for (const Frame &f : frames) {
        uint64_t unit = nanoseconds ? 1 : 1000;
        o.u32(static_cast<uint32_t>(f.timeNs / 1000000000u));
        o.u32(static_cast<uint32_t>(f.timeNs % 1000000000u / unit));
        o.u32(static_cast<uint32_t>(f.data.size()));
        o.u32(f.originalLength ? f.originalLength : static_cast<uint32_t>(f.data.size()));
        o.raw(f.data);
    }
    return o.b;
}

Bytes pcapng(const std::vector<Frame> &frames, const std::vector<Interface> &interfaces,
             bool bigEndian, bool simple) {
    Out o(bigEndian);
    auto block = [&](uint32_t type, const Bytes &body) {
        size_t length = 12 + (body.size() + 3) / 4 * 4;
        o.u32(type);
        o.u32(static_cast<uint32_t>(length));
        o.raw(body);
        o.pad4();
        o.u32(static_cast<uint32_t>(length));
    };
    {
        Out body(bigEndian);
        body.u32(0x1A2B3C4D);
        body.u16(1);
        body.u16(0);
        body.u32(0xFFFFFFFFu);
        body.u32(0xFFFFFFFFu);
        block(0x0A0D0D0A, body.b);
    }
    for (const Interface &i : interfaces) {
        Out body(bigEndian);
        body.u16(i.linkType);
        body.u16(0);
        body.u32(262144);
        body.u16(9); // if_tsresol
        body.u16(1);
        body.b.insert(body.b.end(), {i.tsresol, 0, 0, 0});
        body.u16(0); // end of options
        body.u16(0);
        block(1, body.b);
    }
    for (const Frame &f : frames) {
        Out body(bigEndian);
        uint32_t original =
            f.originalLength ? f.originalLength : static_cast<uint32_t>(f.data.size());
        if (simple) {
            body.u32(original);
            body.raw(f.data);
            block(3, body.b);
            continue;
        }
        // The time in the interface's units.
        // (A frame may name an interface never described, to test readers.)
        uint8_t r = f.interface < interfaces.size() ? interfaces[f.interface].tsresol : 6;
        uint64_t units = 0;
        if (r & 0x80) {
            uint32_t e = r & 0x7Fu;
            units = (f.timeNs / 1000000000u << e) + ((f.timeNs % 1000000000u << e) / 1000000000u);
        } else {
            uint64_t div = 1;
            for (int k = r; k < 9; k++)
                div *= 10;
            units = f.timeNs / div;
        }
        body.u32(f.interface);
        body.u32(static_cast<uint32_t>(units >> 32));
        body.u32(static_cast<uint32_t>(units));
        body.u32(static_cast<uint32_t>(f.data.size()));
        body.u32(original);
        body.raw(f.data);
        body.pad4();
        block(6, body.b);
    }
    return o.b;
}

void Timeline::fromServer(uint64_t timeNs, const Bytes &payload) {
    for (Bytes &ip : ipv4Udp(serverAddress, clientAddress, payload, ipId++))
        frames.push_back({timeNs, ethernet(ip), 0, 0});
}
void Timeline::fromClient(uint64_t timeNs, const Bytes &payload) {
    for (Bytes &ip : ipv4Udp(clientAddress, serverAddress, payload, ipId++))
        frames.push_back({timeNs, ethernet(ip), 0, 0});
}

bool writeFile(const std::string &path, const Bytes &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace capwrite
