#include "udp.h"

#include <algorithm>
#include <cstdio>

namespace capture {

namespace {

uint32_t big16(const unsigned char *p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t big32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
const unsigned protocolUdp = 17;

} // namespace

std::string text(const Endpoint &e) {
    char buffer[32];
    (void)std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u:%u", e.address >> 24,
                        (e.address >> 16) & 0xFFu, (e.address >> 8) & 0xFFu, e.address & 0xFFu,
                        static_cast<unsigned>(e.port));
    return buffer;
}

std::optional<Endpoint> parseEndpoint(const std::string &s) {
    Endpoint e;
    size_t at = 0;
    for (int part = 0; part < 5; part++) {
        size_t start = at;
        uint32_t value = 0;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - start < 6)
            value = value * 10 + static_cast<uint32_t>(s[at++] - '0');
        if (at == start || (part < 4 && value > 255) || (part == 4 && value > 65535))
            return std::nullopt;
        if (part < 4)
            e.address = e.address << 8 | value;
        else
            e.port = static_cast<uint16_t>(value);
        char want = part < 3 ? '.' : part == 3 ? ':' : '\0';
        if (want == '\0')
            return at == s.size() ? std::optional<Endpoint>(e) : std::nullopt;
        if (at >= s.size() || s[at] != want)
            return std::nullopt;
        at++;
    }
    return std::nullopt;
}

UdpReader::Outcome UdpReader::udpOf(uint32_t source, uint32_t destination, const unsigned char *udp,
                                    size_t size, Datagram &out, Skip &why) {
    if (size < 8) {
        why = Skip::BadHeader;
        return Outcome::Skipped;
    }
    size_t length = big16(udp + 4);
    // A length of 0 is left to the IP packet (jumbograms); a length past
    // the packet's end is broken.
    if (length == 0)
        length = size;
    if (length < 8 || length > size) {
        why = Skip::BadHeader;
        return Outcome::Skipped;
    }
    out.from = {source, static_cast<uint16_t>(big16(udp))};
    out.to = {destination, static_cast<uint16_t>(big16(udp + 2))};
    out.data = udp + 8;
    out.size = length - 8;
    return Outcome::Datagram;
}

UdpReader::Outcome UdpReader::read(const unsigned char *ip, size_t size, bool cutByCapture,
                                   uint64_t timeNs, uint64_t record, Datagram &out, Skip &why,
                                   Report &report) {
    if (size < 20 || (ip[0] >> 4) != 4) {
        why = cutByCapture ? Skip::SnapCut : Skip::BadHeader;
        return Outcome::Skipped;
    }
    size_t headerLength = size_t{ip[0] & 0x0Fu} * 4;
    size_t totalLength = big16(ip + 2);
    if (headerLength < 20 || totalLength < headerLength) {
        why = Skip::BadHeader;
        return Outcome::Skipped;
    }
    if (totalLength > size) {
        why = cutByCapture ? Skip::SnapCut : Skip::BadHeader;
        return Outcome::Skipped;
    }
    if (ip[9] != protocolUdp) {
        why = Skip::NotUdp;
        return Outcome::Skipped;
    }
    uint32_t flags = big16(ip + 6);
    bool moreFragments = (flags & 0x2000u) != 0;
    if (moreFragments || (flags & 0x1FFFu) != 0)
        return joinFragment(ip, headerLength, totalLength, timeNs, record, out, why, report);
    return udpOf(big32(ip + 12), big32(ip + 16), ip + headerLength, totalLength - headerLength, out,
                 why);
}

UdpReader::Outcome UdpReader::joinFragment(const unsigned char *ip, size_t headerLength,
                                           size_t totalLength, uint64_t timeNs, uint64_t record,
                                           Datagram &out, Skip &why, Report &report) {
    uint32_t source = big32(ip + 12), destination = big32(ip + 16);
    uint16_t id = static_cast<uint16_t>(big16(ip + 4));
    uint32_t flags = big16(ip + 6);
    size_t offset = size_t{flags & 0x1FFFu} * 8;
    bool last = (flags & 0x2000u) == 0;
    size_t length = totalLength - headerLength;
    // Every fragment but the last carries whole 8-byte units; a datagram
    // holds at most 65535 - 20 bytes of payload.
    if ((!last && length % 8 != 0) || offset + length > 65535) {
        why = Skip::BadHeader;
        return Outcome::Skipped;
    }

    // Give up datagrams whose fragments stopped coming.
    for (size_t i = 0; i < pending_.size();) {
        if (timeNs > pending_[i].startNs && timeNs - pending_[i].startNs > fragmentTimeoutNs) {
            report.skip(Skip::Fragments, pending_[i].firstRecord);
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            i++;
        }
    }
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending &p) {
        return p.source == source && p.destination == destination && p.id == id;
    });
    if (it == pending_.end()) {
        if (pending_.size() >= maxPending) {
            report.skip(Skip::Fragments, pending_.front().firstRecord);
            pending_.erase(pending_.begin());
        }
        pending_.push_back({source, destination, id, timeNs, record, {}, {}, 0});
        it = pending_.end() - 1;
    }
    Pending &p = *it;
    if (p.bytes.size() < offset + length) {
        p.bytes.resize(offset + length);
        p.have.resize((offset + length + 7) / 8);
    }
    std::copy(ip + headerLength, ip + totalLength, p.bytes.begin() + static_cast<long>(offset));
    for (size_t unit = offset / 8; unit < (offset + length + 7) / 8; unit++)
        p.have[unit] = true;
    if (last)
        p.totalLength = offset + length;
    if (p.totalLength == 0 || p.bytes.size() > p.totalLength ||
        !std::all_of(p.have.begin(), p.have.end(), [](bool b) { return b; }))
        return Outcome::Held;

    joined_.swap(p.bytes);
    pending_.erase(it);
    return udpOf(source, destination, joined_.data(), joined_.size(), out, why);
}

void UdpReader::finish(Report &report) {
    for (const Pending &p : pending_)
        report.skip(Skip::Fragments, p.firstRecord);
    pending_.clear();
}

} // namespace capture
