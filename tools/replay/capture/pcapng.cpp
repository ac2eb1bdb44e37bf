// The pcapng format: blocks (section headers, interfaces, packets), each
// section in its own byte order, each interface with its own time unit.
#include "container.h"

#include "container_formats.h"

#include <cstring>

namespace capture {

using namespace formats;

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
    sections_++;
    return true;
}

void ContainerReader::readInterface(const unsigned char *block, uint32_t length) {
    Interface iface{u16(block + 8), false, 6, u32(block + 12)};
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
        record.section = sections_;
        record.interfaceId = interface;
        record.snapLength = iface.snapLength;
        record.resolution =
            hasTime ? static_cast<uint8_t>((iface.binary ? 0x80u : 0u) | (iface.exponent & 0x7Fu))
                    : 9;
        record.units = hasTime ? units : lastTimeNs_;
        // Options follow the data, padded to 32 bits (a simple packet
        // block has none).
        uint32_t options = header + ((captured + 3) & ~3u);
        bool hasOptions = type != simplePacketBlock && options < length - 4;
        record.options = hasOptions ? block + options : nullptr;
        record.optionsLength = hasOptions ? length - 4 - options : 0;
        record.bigEndian = bigEndian_;
        return Next::Record;
    }
}

} // namespace capture
