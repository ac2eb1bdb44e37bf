// The classic pcap format: a file header, then records of a 16-byte header
// and the bytes captured.
#include "container.h"

#include "container_formats.h"

#include <cstring>

namespace capture {

using namespace formats;

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
    record.snapLength = snapLength_;
    record.resolution = nanoseconds_ ? 9 : 6;
    record.options = nullptr; // a pcap record has none
    record.optionsLength = 0;
    record.units =
        static_cast<uint64_t>(seconds) * (nanoseconds_ ? 1000000000u : 1000000u) + fraction;
    pos_ += 16 + static_cast<size_t>(captured);
    return Next::Record;
}

} // namespace capture
