// Capture files as tcpdump and Wireshark save them: classic pcap (either
// byte order, micro- or nanosecond stamps) and pcapng (sections, several
// interfaces with their own link types and time resolutions, enhanced,
// simple and old-style packet blocks). Read front to back from a byte
// source, one record at a time, in memory bounded by the largest record.
#pragma once

#include "source.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace capture {

struct Record {
    uint64_t number = 0; // 1-based, as Wireshark numbers frames
    uint32_t linkType = 0;
    uint64_t timeNs = 0; // since 1970, in nanoseconds
    bool hasTime = true; // simple packet blocks carry no time
    const unsigned char *data = nullptr;
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    // The record as the file holds it, for writing it again unchanged: its
    // interface (pcapng: the section, counted from 1, and the interface's
    // number in it; a pcap file has one, section 0 interface 0),
    // the interface's snapshot length, and the stamp in the interface's own
    // unit, told by an if_tsresol byte (6: microseconds, 9: nanoseconds,
    // 0x80 | n: 2^-n seconds). A simple packet block has no stamp: its
    // units are then timeNs, with resolution 9.
    uint32_t section = 0;
    uint32_t interfaceId = 0;
    uint32_t snapLength = 0;
    uint8_t resolution = 6;
    uint64_t units = 0;
    // pcapng: the packet block's options as the file holds them, in the
    // section's byte order (bigEndian); they live as long as `data`.
    const unsigned char *options = nullptr;
    uint32_t optionsLength = 0;
    bool bigEndian = false;
};

// Called with every record as it is read, before anything else looks at
// it; the record's data lives until the call returns.
using RecordHook = std::function<void(const Record &record)>;

// Whether these first bytes of a file (at least four) begin a capture.
bool looksLikeCapture(const unsigned char *start, size_t size);

class ContainerReader {
  public:
    explicit ContainerReader(ByteSource &in) : in_(in) {}
    explicit ContainerReader(std::FILE *in) : file_(in), in_(file_) {}
    ContainerReader(ByteSource &in, RecordHook hook) : in_(in), hook_(std::move(hook)) {}
    ContainerReader(const ContainerReader &) = delete;
    ContainerReader &operator=(const ContainerReader &) = delete;

    // Reads the file header; false with error() when the file is no capture.
    bool start();

    enum class Next {
        Record,    // `record` holds the next packet; its data lives until the next call
        End,       // the file ended cleanly
        Truncated, // the file ends inside a record (truncatedRecord(), truncatedBytes())
        Corrupt,   // a block or record that cannot be read; error() says which
    };
    Next next(Record &record);

    const std::string &error() const { return error_; }
    uint64_t truncatedRecord() const { return records_ + 1; }
    uint64_t truncatedBytes() const { return truncatedBytes_; }

    // The largest record or block accepted; a longer one is corrupt.
    static constexpr uint32_t maxBlock = 16u << 20;

  private:
    struct Interface {
        uint32_t linkType;
        bool binary;       // the resolution is 2^-exponent, else 10^-exponent
        uint32_t exponent; // of a second
        uint32_t snapLength;
    };

    // Makes `count` bytes from the read position available; false at the
    // end of the file (available() then tells how many there are).
    bool fill(size_t count);
    size_t available() const { return end_ - pos_; }
    const unsigned char *at() const { return buffer_.data() + pos_; }
    uint32_t u16(const unsigned char *p) const;
    uint32_t u32(const unsigned char *p) const;

    bool startPcapng();
    Next nextPcap(Record &record);
    Next nextPcapng(Record &record);
    Next handOn(const Record &record);
    bool readSectionHeader(const unsigned char *block, uint32_t length);
    void readInterface(const unsigned char *block, uint32_t length);
    Next corrupt(const std::string &why);
    uint64_t timeOf(const Interface &iface, uint64_t units) const;

    FileSource file_{nullptr}; // when made from a FILE*
    ByteSource &in_;
    RecordHook hook_;
    std::vector<unsigned char> buffer_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;

    bool pcapng_ = false;
    bool bigEndian_ = false;
    // Classic pcap.
    uint32_t linkType_ = 0;
    bool nanoseconds_ = false;
    uint32_t snapLength_ = 0;
    // pcapng: the interfaces of the current section.
    std::vector<Interface> interfaces_;
    uint32_t sections_ = 0; // read so far
    uint64_t lastTimeNs_ = 0;

    uint64_t records_ = 0;
    uint64_t truncatedBytes_ = 0;
    std::string error_;
};

} // namespace capture
