// IPv4 and UDP: from an IPv4 packet to a UDP datagram, joining fragments.
#pragma once

#include "report.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct Endpoint {
    uint32_t address = 0; // IPv4, the first byte most significant
    uint16_t port = 0;
    bool operator==(const Endpoint &) const = default;
    auto operator<=>(const Endpoint &) const = default;
};

// "192.168.0.1:7777"
std::string text(const Endpoint &endpoint);
// From "HOST:PORT", HOST four decimal numbers; nullopt when malformed.
std::optional<Endpoint> parseEndpoint(const std::string &text);

struct Datagram {
    Endpoint from, to;
    const unsigned char *data = nullptr;
    size_t size = 0;
};

class UdpReader {
  public:
    enum class Outcome {
        Datagram, // `out` holds a datagram; its bytes live until the next call
        Held,     // a fragment was kept until its datagram is whole
        Skipped,  // `why` tells
    };
    // `originalLength` is how long the packet was on the wire from its IPv4
    // header on (more than `size` when the capture kept less).
    Outcome read(const unsigned char *packet, size_t size, bool cutByCapture, uint64_t timeNs,
                 uint64_t record, Datagram &out, Skip &why, Report &report);
    // Counts the datagrams whose fragments never all came.
    void finish(Report &report);

    // Fragments older than this (capture time) are given up.
    static constexpr uint64_t fragmentTimeoutNs = 30'000'000'000ull;
    // At most this many datagrams are being joined at once.
    static constexpr size_t maxPending = 64;

  private:
    struct Pending {
        uint32_t source, destination;
        uint16_t id;
        uint64_t startNs;
        uint64_t firstRecord;
        std::vector<unsigned char> bytes; // the IP payload, by offset
        std::vector<bool> have;           // per 8-byte unit
        size_t totalLength = 0;           // known once the last fragment came; 0 before
    };
    Outcome joinFragment(const unsigned char *ip, size_t headerLength, size_t totalLength,
                         uint64_t timeNs, uint64_t record, Datagram &out, Skip &why,
                         Report &report);
    Outcome udpOf(uint32_t source, uint32_t destination, const unsigned char *udp, size_t size,
                  Datagram &out, Skip &why);

    std::vector<Pending> pending_;
    std::vector<unsigned char> joined_;
};

} // namespace capture
