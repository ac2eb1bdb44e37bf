// Link layers: from a captured frame to the IPv4 packet inside it.
#pragma once

#include "container.h"
#include "report.h"

#include <cstddef>
#include <optional>

namespace capture {

// Link types (as pcap numbers them) that the reader knows.
enum LinkType : uint32_t {
    linkNull = 0,       // BSD loopback: a 4-byte address family in the writer's byte order
    linkEthernet = 1,   // with any number of 802.1Q / 802.1ad tags
    linkRaw = 101,      // a bare IP packet
    linkLoop = 108,     // OpenBSD loopback: the family in network byte order
    linkLinuxSll = 113, // Linux "cooked" capture, version 1
    linkIpv4 = 228,     // a bare IPv4 packet
    linkLinuxSll2 = 276 // Linux "cooked" capture, version 2
};

// The IPv4 packet in `record`: its start and the bytes captured from
// there; or why the record holds none.
std::optional<Skip> ipv4Of(const Record &record, const unsigned char *&packet, size_t &size);

} // namespace capture
