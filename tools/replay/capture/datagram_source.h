// A capture's records read down to UDP datagrams: the container (pcap,
// pcapng), the link layer and IPv4/UDP with its fragments, in one pass.
#pragma once

#include "container.h"
#include "link.h"
#include "report.h"
#include "udp.h"

#include <cstdio>
#include <optional>
#include <string>

namespace capture {

// Reads the records of a capture down to UDP datagrams.
class DatagramSource {
  public:
    explicit DatagramSource(ByteSource &in, RecordHook hook = {})
        : container_(in, std::move(hook)) {}
    bool start(std::string &error) {
        if (container_.start())
            return true;
        error = container_.error();
        return false;
    }
    enum class Step { Datagram, Other, End };
    // The next record: a datagram, or something else (skipped with `why`
    // set, or a held fragment with `why` unset).
    Step next(Record &record, Datagram &datagram, std::optional<Skip> &why, Report &report) {
        ContainerReader::Next n = container_.next(record);
        if (n == ContainerReader::Next::Truncated) {
            report.truncated = true;
            report.truncatedRecord = container_.truncatedRecord();
            report.truncatedBytes = container_.truncatedBytes();
        }
        if (n == ContainerReader::Next::Corrupt)
            report.unreadableRest = container_.error();
        if (n != ContainerReader::Next::Record) {
            udp_.finish(report);
            return Step::End;
        }
        report.records++;
        why.reset();
        const unsigned char *packet = nullptr;
        size_t size = 0;
        if ((why = ipv4Of(record, packet, size)))
            return Step::Other;
        // How much of the IP packet the capture kept, against what was sent.
        bool cut = record.capturedLength < record.originalLength;
        Skip skip = Skip::BadHeader;
        switch (
            udp_.read(packet, size, cut, record.timeNs, record.number, datagram, skip, report)) {
        case UdpReader::Outcome::Datagram:
            return Step::Datagram;
        case UdpReader::Outcome::Held:
            return Step::Other;
        case UdpReader::Outcome::Skipped:
            why = skip;
            return Step::Other;
        }
        return Step::Other;
    }

  private:
    ContainerReader container_;
    UdpReader udp_;
};

} // namespace capture
