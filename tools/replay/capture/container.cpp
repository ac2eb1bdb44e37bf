// A capture file as records, whatever its format: the format told by its
// first bytes, the file read in blocks; pcap.cpp and pcapng.cpp read the
// records of each.
#include "container.h"

#include "container_formats.h"

#include <cstring>

namespace capture {

using namespace formats;

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
    snapLength_ = u32(at() + 16);
    pos_ += 24;
    return true;
}

ContainerReader::Next ContainerReader::corrupt(const std::string &why) {
    error_ = why + " (after record " + std::to_string(records_) + ")";
    return Next::Corrupt;
}

ContainerReader::Next ContainerReader::next(Record &record) {
    Next n = pcapng_ ? nextPcapng(record) : nextPcap(record);
    if (n == Next::Record && hook_)
        hook_(record);
    return n;
}

} // namespace capture
