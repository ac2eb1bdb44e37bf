// The reliability layer of the game's connection, as the client receives
// the server's datagrams: acknowledgements skipped, messages read from their
// headers, resent duplicates dropped, split messages joined, sequenced
// channels keeping only the newest, ordered channels held until a gap is
// filled. What comes out is what the client's network layer hands up.
#pragma once

#include "bits.h"
#include "report.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace capture {

enum Reliability : uint8_t {
    unreliable = 6,
    unreliableSequenced = 7,
    reliable = 8,
    reliableOrdered = 9,
    reliableSequenced = 10,
};

struct MessageHeader {
    uint16_t number = 0;
    uint8_t reliability = 0;
    uint8_t channel = 0;
    uint16_t orderingIndex = 0;
    bool split = false;
    uint16_t splitId = 0;
    uint32_t splitIndex = 0, splitCount = 0;
    uint32_t bits = 0; // of the data
    const unsigned char *data = nullptr;
};

enum class DatagramParse {
    Whole,      // every message read (perhaps none: acknowledgements only)
    Stopped,    // some messages read, then one that could not be
    Unreadable, // not even the first
};

// Reads a datagram's messages in order, handing each to `visit`.
template <class Visit>
DatagramParse parseDatagram(const unsigned char *data, size_t size, Visit visit);
// Whether `data` reads whole as a datagram of the reliability layer.
bool readsAsDatagram(const unsigned char *data, size_t size);

class Delivery {
  public:
    virtual ~Delivery() = default;
    // One message handed up: `bits` bits from `data`.
    virtual void deliver(const unsigned char *data, uint32_t bits) = 0;
};

class Receiver {
  public:
    Receiver();
    // A new connection. Counters known: they start from zero, as after the
    // server's connection reply. Unknown: each starts from the first value
    // seen (a capture begun mid-session).
    void reset(bool countersKnown);
    // Reads one datagram received at `timeNs`; false when nothing in it
    // could be read.
    bool receive(const unsigned char *data, size_t size, uint64_t timeNs, uint64_t record,
                 Delivery &delivery, Report &report);
    // Counts what is still held or unfinished.
    void finish(Report &report);

    // How long a missing message number is waited for before it counts as
    // lost and a late copy as a duplicate (the server's default).
    static constexpr uint64_t holeTimeoutNs = 10'000'000'000ull;
    // Unreliable split messages are given up this long after their last part.
    static constexpr uint64_t splitTimeoutNs = 10'000'000'000ull;
    // Bounds against hostile input.
    static constexpr size_t maxHeldMessages = 65536;
    static constexpr size_t maxHeldBytes = 32u << 20;
    static constexpr size_t maxSplits = 64;
    static constexpr uint32_t maxSplitParts = 4096;
    static constexpr size_t maxSplitBytes = 16u << 20;

  private:
    struct Held {
        std::vector<unsigned char> data;
        uint32_t bits;
        uint64_t record;
    };
    struct Split {
        MessageHeader first; // part 0's header (its data pointer unused)
        uint32_t count = 0, received = 0;
        std::vector<std::vector<unsigned char>> parts;
        std::vector<uint32_t> partBits;
        uint64_t lastNs = 0, firstRecord = 0;
        size_t bytes = 0;
    };

    bool isNew(uint16_t number, uint64_t timeNs);
    void message(const MessageHeader &m, uint64_t timeNs, uint64_t record, Delivery &delivery,
                 Report &report);
    void afterJoin(const MessageHeader &m, const unsigned char *data, uint32_t bits,
                   uint64_t record, Delivery &delivery, Report &report);
    bool joinSplit(const MessageHeader &m, uint64_t timeNs, uint64_t record, Report &report);
    void dropSplit(std::map<uint16_t, Split>::iterator it, Report &report);

    bool known_ = false;
    // Message numbers: `base_` is the lowest not yet settled; `window_`
    uint16_t base_ = 0;
    uint32_t window_ = 0;
    // entries: after `base_` in a ring that grows (to at most 65536) as
    // the window needs; a hole carries the time it is waited for until.
    struct Slot {
        bool received;
        uint64_t expiry;
    };
    std::vector<Slot> ring_;
    uint32_t head_ = 0; // the ring index of `base_`
    Slot &slot(uint32_t offset) {
        return ring_[(head_ + offset) & static_cast<uint32_t>(ring_.size() - 1)];
    }
    void grow(uint32_t size);

    struct Channel {
        bool orderedKnown = false, sequencedKnown = false;
        uint16_t ordered = 0, sequenced = 0; // the next index expected
        std::map<uint16_t, Held> held;
    };
    Channel channels_[32];
    size_t heldMessages_ = 0, heldBytes_ = 0;

    std::map<uint16_t, Split> splits_;
    size_t splitBytes_ = 0;
    std::vector<unsigned char> joined_;
};

// ---- parsing, here so that the visitor inlines ----

namespace detail {
// One message's header and, after it, the byte boundary its data starts on;
// false when the header or the data does not fit or makes no sense.
bool readHeader(BitReader &in, MessageHeader &m);
} // namespace detail

template <class Visit>
DatagramParse parseDatagram(const unsigned char *data, size_t size, Visit visit) {
    BitReader in(data, size);
    uint32_t hasAcks = 0;
    if (!in.bits(hasAcks, 1))
        return DatagramParse::Unreadable;
    if (hasAcks) {
        // Ranges of the client's message numbers: skipped.
        uint32_t count = 0;
        if (!in.compressed(count, 2))
            return DatagramParse::Unreadable;
        for (uint32_t i = 0; i < count; i++) {
            uint32_t single = 0, ignored = 0;
            if (!in.bits(single, 1) || !in.u16(ignored) || (!single && !in.u16(ignored)))
                return DatagramParse::Unreadable;
        }
    }
    bool any = false;
    while (in.remaining() >= 16) {
        MessageHeader m;
        if (!detail::readHeader(in, m))
            return any ? DatagramParse::Stopped : DatagramParse::Unreadable;
        m.data = data + in.position() / 8;
        in.skip(size_t{(m.bits + 7) / 8} * 8);
        visit(m);
        any = true;
    }
    return DatagramParse::Whole;
}

} // namespace capture
