// The replay tool's capture reader on arbitrary files.
// Invariants: every record kept is settled once, used or skipped, in
// order, and the counts agree; events come in record order and name records that
// exist; a refused capture hands over no event; reading the same bytes
// again, handed over in reads of random sizes as a pipe hands them, gives
// the same events and the same report.
#include "fuzz_plugin.h"

#include "capture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::string error, summary;
    std::vector<uint64_t> settled;
    uint64_t used = 0;
    uint64_t events = 0, eventHash = 1469598103934665603ull;
    uint64_t lastRecord = 0;
    bool ordered = true;
    capture::Report report;
};

void mix(uint64_t &hash, uint64_t value) {
    hash ^= value;
    hash *= 1099511628211ull;
}

// The input as a stream: all that is asked for at once, or (with a seed)
// pieces of 1 to 64 bytes in a row, as short reads from a pipe give them.
class Stream : public capture::ByteSource {
  public:
    Stream(const uint8_t *data, size_t size, uint64_t seed)
        : data_(data), size_(size), seed_(seed) {}
    size_t read(unsigned char *to, size_t most) override {
        size_t n = std::min(most, size_ - at_);
        if (seed_ != 0) {
            seed_ ^= seed_ << 13; // xorshift64
            seed_ ^= seed_ >> 7;
            seed_ ^= seed_ << 17;
            n = std::min<size_t>(n, 1 + seed_ % 64);
        }
        std::memcpy(to, data_ + at_, n);
        at_ += n;
        return n;
    }

  private:
    const uint8_t *data_;
    size_t size_, at_ = 0;
    uint64_t seed_;
};

Outcome read(const uint8_t *data, size_t size, uint64_t seed) {
    Outcome o;
    Stream stream(data, size, seed);
    capture::Options options;
    options.frameMs = 1000; // few frames: the reader is what is fuzzed
    options.onRecord = [&o](uint64_t record, bool used) {
        o.settled.push_back(record);
        o.used += used ? 1 : 0;
    };
    capture::Result r =
        capture::readCapture(stream, options, [&o](const replay::Event &e, uint64_t record) {
            o.events++;
            o.ordered = o.ordered && record >= o.lastRecord;
            o.lastRecord = record;
            mix(o.eventHash, e.index());
            mix(o.eventHash, record);
            if (const auto *p = std::get_if<replay::Packet>(&e)) {
                mix(o.eventHash, p->bitCount);
                FUZZ_CHECK(p->bytes.size() == (p->bitCount + 7) / 8);
                for (unsigned char c : p->bytes)
                    mix(o.eventHash, c);
            } else if (const auto *rpc = std::get_if<replay::Rpc>(&e)) {
                mix(o.eventHash, rpc->bitCount);
                FUZZ_CHECK(rpc->data.size() == (rpc->bitCount + 7) / 8);
                for (unsigned char c : rpc->data)
                    mix(o.eventHash, c);
            } else if (const auto *tick = std::get_if<replay::SetTick>(&e)) {
                mix(o.eventHash, tick->tick);
            }
        });
    o.error = r.error;
    o.summary = r.report.summary();
    o.report = r.report;
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Outcome first = read(data, size, 0);
    if (!first.error.empty()) {
        FUZZ_CHECK(first.events == 0);
    } else {
        const capture::Report &r = first.report;
        // The oldest records of a long wait for the game are not kept.
        FUZZ_CHECK(first.settled.size() + r.notKept == r.records);
        for (size_t i = 0; i < first.settled.size(); i++)
            FUZZ_CHECK(first.settled[i] == r.notKept + i + 1);
        FUZZ_CHECK(first.used == r.usedRecords);
        FUZZ_CHECK(r.usedRecords + r.skippedRecords() + r.notKept == r.records);
        FUZZ_CHECK(first.ordered);
        // The last frame carries the game's last record.
        FUZZ_CHECK(first.lastRecord <= r.records);
        FUZZ_CHECK(first.events >= 7); // the host's settings and two frames
    }
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < size; i++)
        mix(seed, data[i]);
    Outcome again = read(data, size, seed | 1);
    FUZZ_CHECK(again.error == first.error);
    FUZZ_CHECK(again.summary == first.summary);
    FUZZ_CHECK(again.events == first.events);
    FUZZ_CHECK(again.eventHash == first.eventHash);
    return 0;
}
