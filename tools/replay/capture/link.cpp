#include "link.h"

namespace capture {

namespace {

const uint32_t etherIpv4 = 0x0800;

uint32_t big16(const unsigned char *p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

// After the link header: an EtherType names what follows.
std::optional<Skip> byEtherType(uint32_t type, const unsigned char *data, size_t size, size_t at,
                                const unsigned char *&packet, size_t &packetSize) {
    if (type != etherIpv4)
        return Skip::NotIPv4;
    packet = data + at;
    packetSize = size - at;
    return std::nullopt;
}

// A bare IP packet: the version in the first nibble decides.
std::optional<Skip> byVersion(const unsigned char *data, size_t size, size_t at,
                              const unsigned char *&packet, size_t &packetSize) {
    if (size <= at)
        return Skip::BadHeader;
    if ((data[at] >> 4) != 4)
        return Skip::NotIPv4;
    packet = data + at;
    packetSize = size - at;
    return std::nullopt;
}

} // namespace

std::optional<Skip> ipv4Of(const Record &record, const unsigned char *&packet, size_t &size) {
    const unsigned char *d = record.data;
    size_t n = record.capturedLength;
    switch (record.linkType) {
    case linkEthernet: {
        if (n < 14)
            return Skip::BadHeader;
        size_t at = 12;
        uint32_t type = big16(d + at);
        // 802.1Q, 802.1ad and the older QinQ tag: four bytes each.
        while (type == 0x8100 || type == 0x88A8 || type == 0x9100) {
            at += 4;
            if (n < at + 2)
                return Skip::BadHeader;
            type = big16(d + at);
        }
        return byEtherType(type, d, n, at + 2, packet, size);
    }
    case linkRaw:
    case linkIpv4:
        return byVersion(d, n, 0, packet, size);
    case linkNull:
    case linkLoop: {
        if (n < 4)
            return Skip::BadHeader;
        // AF_INET is 2 on every system; the writer's byte order is unknown
        // for linkNull, so both are taken.
        bool inet = record.linkType == linkLoop
                        ? (d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 2)
                        : ((d[0] == 2 && d[1] == 0 && d[2] == 0 && d[3] == 0) ||
                           (d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 2));
        if (!inet)
            return Skip::NotIPv4;
        return byVersion(d, n, 4, packet, size);
    }
    case linkLinuxSll:
        if (n < 16)
            return Skip::BadHeader;
        return byEtherType(big16(d + 14), d, n, 16, packet, size);
    case linkLinuxSll2:
        if (n < 20)
            return Skip::BadHeader;
        return byEtherType(big16(d), d, n, 20, packet, size);
    default:
        return Skip::LinkType;
    }
}

} // namespace capture
