#include "container.h"

#include <cstring>

namespace capture {

namespace {

const uint32_t pcapMicro = 0xA1B2C3D4, pcapNano = 0xA1B23C4D;
const uint32_t sectionHeader = 0x0A0D0D0A, byteOrderMagic = 0x1A2B3C4D;
const uint32_t interfaceBlock = 1, oldPacketBlock = 2, simplePacketBlock = 3,
               enhancedPacketBlock = 6;

uint32_t swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
uint32_t littleU32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// a * b, held at the largest value instead of wrapping.
uint64_t saturatingMul(uint64_t a, uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}
uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

} // namespace

bool looksLikeCapture(const unsigned char *start, size_t size) {
    if (size < 4)
        return false;
    uint32_t magic = littleU32(start);
    return magic == pcapMicro || magic == swap32(pcapMicro) || magic == pcapNano ||
           magic == swap32(pcapNano) || magic == sectionHeader;
}

uint32_t ContainerReader::u16(const unsigned char *p) const {
    return bigEndian_ ? (static_cast<uint32_t>(p[0]) << 8 | p[1])
                      : (static_cast<uint32_t>(p[1]) << 8 | p[0]);
}
uint32_t ContainerReader::u32(const unsigned char *p) const {
    uint32_t v = littleU32(p);
    return bigEndian_ ? swap32(v) : v;
}

bool ContainerReader::fill(size_t count) {
    if (available() >= count)
        return true;
    // Keep the unread bytes, at the front, and read on behind them. The
    // buffer grows only as the file gives bytes (doubling, from 64 KiB), so
    // a record that claims megabytes in a short file costs nothing.
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, available());
        end_ -= pos_;
        pos_ = 0;
    }
    while (end_ < count && !eof_) {
        if (end_ == buffer_.size()) {
            size_t bigger = buffer_.size() < (32u << 10) ? (64u << 10) : buffer_.size() * 2;
            buffer_.resize(bigger);
        }
        size_t got = in_.read(buffer_.data() + end_, buffer_.size() - end_);
        end_ += got;
        if (got == 0)
            eof_ = true;
    }
    return end_ >= count;
}

bool ContainerReader::start() {
    if (!fill(4)) {
        error_ = available() == 0 ? "the file is empty" : "the file is too short for a capture";
        return false;
    }
    uint32_t magic = littleU32(at());
    if (magic == sectionHeader) {
        pcapng_ = true;
        return startPcapng();
    }
    if (magic == pcapMicro || magic == pcapNano) {
        bigEndian_ = false;
    } else if (magic == swap32(pcapMicro) || magic == swap32(pcapNano)) {
        bigEndian_ = true;
    } else {
        error_ = "not a pcap or pcapng capture";
        return false;
    }
    nanoseconds_ = magic == pcapNano || magic == swap32(pcapNano);
    if (!fill(24)) {
        error_ = "the pcap file header is cut short";
        return false;
    }
    // The link type is the low 16 bits; the upper ones may tell about
    // frame check sequences, which a UDP reader does not need.
    linkType_ = u32(at() + 20) & 0xFFFFu;
    pos_ += 24;
    return true;
}

bool ContainerReader::startPcapng() {
    if (!fill(12)) {
        error_ = "the pcapng section header is cut short";
        return false;
    }
    if (littleU32(at() + 8) == byteOrderMagic)
        bigEndian_ = false;
    else if (littleU32(at() + 8) == swap32(byteOrderMagic))
        bigEndian_ = true;
    else {
        error_ = "the pcapng section header has no byte-order mark";
        return false;
    }
    return true; // the block itself is read by nextPcapng like any other
}

ContainerReader::Next ContainerReader::corrupt(const std::string &why) {
    error_ = why + " (after record " + std::to_string(records_) + ")";
    return Next::Corrupt;
}

ContainerReader::Next ContainerReader::next(Record &record) {
    return pcapng_ ? nextPcapng(record) : nextPcap(record);
}

ContainerReader::Next ContainerReader::nextPcap(Record &record) {
    if (!fill(16)) {
        if (available() == 0)
            return Next::End;
        truncatedBytes_ = available();
        pos_ = end_;
        return Next::Truncated;
    }
    const unsigned char *h = at();
    uint32_t seconds = u32(h), fraction = u32(h + 4), captured = u32(h + 8), original = u32(h + 12);
    if (captured > maxBlock)
        return corrupt("a pcap record claims " + std::to_string(captured) + " bytes");
    if (!fill(16 + static_cast<size_t>(captured))) {
        truncatedBytes_ = available();
        pos_ = end_;
        return Next::Truncated;
    }
    record.number = ++records_;
    record.linkType = linkType_;
    record.timeNs = saturatingAdd(saturatingMul(seconds, 1000000000u),
                                  nanoseconds_ ? fraction : saturatingMul(fraction, 1000));
    record.hasTime = true;
    record.data = at() + 16;
    record.capturedLength = captured;
    record.originalLength = original;
    pos_ += 16 + static_cast<size_t>(captured);
    return Next::Record;
}

uint64_t ContainerReader::timeOf(const Interface &iface, uint64_t units) const {
    uint32_t e = iface.exponent;
    if (!iface.binary) {
        if (e <= 9) {
            uint64_t scale = 1;
            for (uint32_t i = e; i < 9; i++)
                scale *= 10;
            return saturatingMul(units, scale);
        }
        uint64_t scale = 1;
        for (uint32_t i = 9; i < e && i < 28; i++)
            scale = saturatingMul(scale, 10);
        return units / scale;
    }
    // 2^-e seconds: whole seconds and the fraction apart, so that nothing
    // overflows for exponents up to 34.
    if (e > 34) {
        units >>= (e - 34 < 64 ? e - 34 : 63);
        e = 34;
    }
    uint64_t whole = units >> e, part = units & ((uint64_t{1} << e) - 1);
    return saturatingAdd(saturatingMul(whole, 1000000000u), (part * 1000000000u) >> e);
}

bool ContainerReader::readSectionHeader(const unsigned char *block, uint32_t length) {
    if (length < 28)
        return false;
    uint32_t order = littleU32(block + 8);
    if (order == byteOrderMagic)
        bigEndian_ = false;
    else if (order == swap32(byteOrderMagic))
        bigEndian_ = true;
    else
        return false;
    interfaces_.clear(); // interface numbers count afresh in each section
    return true;
}

void ContainerReader::readInterface(const unsigned char *block, uint32_t length) {
    Interface iface{u16(block + 8), false, 6};
    // Options: code, length, value padded to four bytes; if_tsresol is 9.
    uint32_t at = 16;
    while (at + 4 <= length - 4) {
        uint32_t code = u16(block + at), size = u16(block + at + 2);
        if (code == 0 || at + 4 + size > length - 4)
            break;
        if (code == 9 && size >= 1) {
            unsigned char v = block[at + 4];
            iface.binary = (v & 0x80) != 0;
            iface.exponent = v & 0x7Fu;
        }
        at += 4 + ((size + 3) & ~3u);
    }
    // More interfaces than any real capture has would only eat memory.
    if (interfaces_.size() < 65536)
        interfaces_.push_back(iface);
}

ContainerReader::Next ContainerReader::nextPcapng(Record &record) {
    for (;;) {
        if (!fill(8)) {
            if (available() == 0)
                return Next::End;
            truncatedBytes_ = available();
            pos_ = end_;
            return Next::Truncated;
        }
        uint32_t type = littleU32(at());
        if (type == sectionHeader) {
            // A new section may change the byte order: read its mark first.
            if (!fill(12)) {
                truncatedBytes_ = available();
                pos_ = end_;
                return Next::Truncated;
            }
            uint32_t order = littleU32(at() + 8);
            if (order == byteOrderMagic)
                bigEndian_ = false;
            else if (order == swap32(byteOrderMagic))
                bigEndian_ = true;
            else
                return corrupt("a pcapng section header has no byte-order mark");
        } else {
            type = u32(at());
        }
        uint32_t length = u32(at() + 4);
        if (length < 12 || length % 4 != 0 || length > maxBlock)
            return corrupt("a pcapng block claims a length of " + std::to_string(length));
        if (!fill(length)) {
            // Only a block that carries a packet makes a truncated record.
            truncatedBytes_ = available();
            pos_ = end_;
            bool packet =
                type == enhancedPacketBlock || type == simplePacketBlock || type == oldPacketBlock;
            return packet ? Next::Truncated : Next::End;
        }
        const unsigned char *block = at();
        if (u32(block + length - 4) != length)
            return corrupt("a pcapng block's two lengths differ");
        pos_ += length;

        if (type == sectionHeader) {
            if (!readSectionHeader(block, length))
                return corrupt("a pcapng section header is malformed");
            continue;
        }
        if (type == interfaceBlock) {
            if (length < 20)
                return corrupt("a pcapng interface block is too short");
            readInterface(block, length);
            continue;
        }
        if (type != enhancedPacketBlock && type != simplePacketBlock && type != oldPacketBlock)
            continue; // name resolution, statistics, comments...

        uint32_t interface = 0, captured = 0, original = 0, header = 0;
        uint64_t units = 0;
        bool hasTime = true;
        if (type == simplePacketBlock) {
            if (length < 16)
                return corrupt("a pcapng simple packet block is too short");
            original = u32(block + 8);
            header = 12;
            captured = original < length - 16 ? original : length - 16;
            hasTime = false;
        } else {
            if (length < 32)
                return corrupt("a pcapng packet block is too short");
            interface = type == oldPacketBlock ? u16(block + 8) : u32(block + 8);
            units = static_cast<uint64_t>(u32(block + 12)) << 32 | u32(block + 16);
            captured = u32(block + 20);
            original = u32(block + 24);
            header = 28;
            if (captured > length - 32)
                return corrupt("a pcapng packet block's data runs past its end");
        }
        if (interface >= interfaces_.size())
            return corrupt("a pcapng packet names interface " + std::to_string(interface) +
                           ", which was not described");
        const Interface &iface = interfaces_[interface];
        record.number = ++records_;
        record.linkType = iface.linkType;
        if (hasTime)
            lastTimeNs_ = timeOf(iface, units);
        record.timeNs = lastTimeNs_;
        record.hasTime = hasTime;
        record.data = block + header;
        record.capturedLength = captured;
        record.originalLength = original;
        return Next::Record;
    }
}

} // namespace capture
