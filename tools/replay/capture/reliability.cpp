#include "reliability.h"

#include <algorithm>
#include <iterator>

namespace capture {

namespace {

bool isSequenced(uint8_t r) { return r == unreliableSequenced || r == reliableSequenced; }
bool isOrdered(uint8_t r) { return r == reliableOrdered; }
bool hasChannel(uint8_t r) { return isSequenced(r) || isOrdered(r); }

// Whether ordering index `index` lies in the half of the range just before
// `expected` (so it was sent before the one awaited).
bool isOlder(uint16_t index, uint16_t expected) {
    uint16_t behind = static_cast<uint16_t>(expected - index);
    return behind >= 1 && behind <= 32768;
}

} // namespace

// A message header's fields, up to its data's byte boundary; false when
// they run past what `in` holds or make no sense.
template <class Reader> static bool readFields(Reader &in, MessageHeader &m) {
    uint32_t number = 0, reliability = 0, split = 0, bits = 0;
    if (!in.u16(number) || !in.bits(reliability, 4))
        return false;
    if (reliability < unreliable || reliability > reliableSequenced)
        return false;
    m.number = static_cast<uint16_t>(number);
    m.reliability = static_cast<uint8_t>(reliability);
    if (hasChannel(m.reliability)) {
        uint32_t channel = 0, index = 0;
        if (!in.bits(channel, 5) || !in.u16(index))
            return false;
        m.channel = static_cast<uint8_t>(channel);
        m.orderingIndex = static_cast<uint16_t>(index);
    }
    if (!in.bits(split, 1))
        return false;
    m.split = split != 0;
    if (m.split) {
        uint32_t id = 0;
        if (!in.u16(id) || !in.compressed(m.splitIndex, 4) || !in.compressed(m.splitCount, 4))
            return false;
        m.splitId = static_cast<uint16_t>(id);
    }
    // The receiver refuses an empty message and one of 1500 bytes or more.
    if (!in.compressed(bits, 2) || bits == 0 || (bits + 7) / 8 >= 1500)
        return false;
    m.bits = bits;
    return true;
}

bool detail::readHeader(BitReader &in, MessageHeader &m) {
    // Every message of every datagram has a header: read from one word
    // where the datagram goes on far enough, else (near its end, or where
    // the word does not hold it all) read with each field checked.
    WordReader word(in);
    if (readFields(word, m))
        in.skip(word.used());
    else if (!readFields(in, m))
        return false;
    in.align();
    return in.remaining() >= size_t{(m.bits + 7) / 8} * 8;
}

bool readsAsDatagram(const unsigned char *data, size_t size) {
    return parseDatagram(data, size, [](const MessageHeader &) {}) == DatagramParse::Whole;
}

Receiver::Receiver() : ring_(64) { reset(true); }

void Receiver::reset(bool countersKnown) {
    known_ = countersKnown;
    base_ = 0;
    head_ = 0;
    window_ = 0;
    for (Channel &c : channels_) {
        c.orderedKnown = c.sequencedKnown = countersKnown;
        c.ordered = c.sequenced = 0;
        c.held.clear();
    }
    heldMessages_ = heldBytes_ = 0;
    splits_.clear();
    splitBytes_ = 0;
}

void Receiver::grow(uint32_t size) {
    if (size <= ring_.size())
        return;
    size_t capacity = ring_.size();
    while (capacity < size)
        capacity *= 2;
    std::vector<Slot> bigger(capacity);
    for (uint32_t i = 0; i < window_; i++)
        bigger[i] = slot(i);
    ring_.swap(bigger);
    head_ = 0;
}

// Whether message `number` is seen for the first time. The window after
// `base_` holds received numbers and holes; a number more than half the
// range behind `base_` is an old copy.
bool Receiver::isNew(uint16_t number, uint64_t timeNs) {
    if (!known_) {
        known_ = true;
        base_ = number;
    }
    uint32_t d = static_cast<uint16_t>(number - base_);
    bool fresh = true;
    if (d == 0) {
        if (window_ > 0) {
            head_++;
            window_--;
        }
        base_++;
    } else if (d > 32768) {
        fresh = false;
    } else if (d < window_) {
        fresh = !slot(d).received;
        slot(d).received = true;
    } else {
        grow(d + 1);
        for (uint32_t i = window_; i < d; i++)
            slot(i) = {false, timeNs + holeTimeoutNs};
        slot(d) = {true, 0};
        window_ = d + 1;
    }
    // Settle what leads the window: received numbers and holes waited out.
    while (window_ > 0 && (slot(0).received || slot(0).expiry <= timeNs)) {
        head_++;
        base_++;
        window_--;
    }
    return fresh;
}

bool Receiver::receive(const unsigned char *data, size_t size, uint64_t timeNs, uint64_t record,
                       Delivery &delivery, Report &report) {
    DatagramParse parsed = parseDatagram(
        data, size, [&](const MessageHeader &m) { message(m, timeNs, record, delivery, report); });
    if (parsed == DatagramParse::Stopped)
        report.skip(Skip::CutShort, record);
    return parsed != DatagramParse::Unreadable;
}

void Receiver::message(const MessageHeader &m, uint64_t timeNs, uint64_t record, Delivery &delivery,
                       Report &report) {
    if (!isNew(m.number, timeNs)) {
        report.skip(Skip::Duplicate, record);
        return;
    }
    if (!m.split) {
        afterJoin(m, m.data, m.bits, record, delivery, report);
        return;
    }
    Channel &c = channels_[m.channel];
    if (isSequenced(m.reliability) && c.sequencedKnown && isOlder(m.orderingIndex, c.sequenced)) {
        report.skip(Skip::OldSequenced, record);
        return;
    }
    if (joinSplit(m, timeNs, record, report)) {
        MessageHeader whole = splits_[m.splitId].first;
        joined_.clear();
        uint32_t bits = 0;
        Split &s = splits_[m.splitId];
        for (uint32_t i = 0; i < s.count; i++) {
            joined_.insert(joined_.end(), s.parts[i].begin(), s.parts[i].end());
            bits += s.partBits[i];
        }
        splitBytes_ -= s.bytes;
        splits_.erase(m.splitId);
        afterJoin(whole, joined_.data(), bits, record, delivery, report);
    }
}

// Stores a split part; true when it completes its message.
bool Receiver::joinSplit(const MessageHeader &m, uint64_t timeNs, uint64_t record, Report &report) {
    // Unreliable splits that stopped coming are given up when parts come in.
    for (auto it = splits_.begin(); it != splits_.end();) {
        auto next = std::next(it);
        const Split &s = it->second;
        bool unreliableKind =
            s.first.reliability == unreliable || s.first.reliability == unreliableSequenced;
        if (unreliableKind && timeNs > s.lastNs && timeNs - s.lastNs > splitTimeoutNs)
            dropSplit(it, report);
        it = next;
    }
    if (m.splitCount == 0 || m.splitIndex >= m.splitCount || m.splitCount > maxSplitParts) {
        report.skip(Skip::SplitBad, record);
        return false;
    }
    auto it = splits_.find(m.splitId);
    if (it == splits_.end()) {
        if (splits_.size() >= maxSplits) {
            // Give up the one that has waited longest.
            auto oldest = splits_.begin();
            for (auto s = splits_.begin(); s != splits_.end(); ++s)
                if (s->second.lastNs < oldest->second.lastNs)
                    oldest = s;
            dropSplit(oldest, report);
        }
        Split fresh;
        fresh.first = m;
        fresh.count = m.splitCount;
        fresh.parts.resize(m.splitCount);
        fresh.partBits.assign(m.splitCount, 0);
        fresh.firstRecord = record;
        it = splits_.emplace(m.splitId, std::move(fresh)).first;
    }
    Split &s = it->second;
    if (s.count != m.splitCount || s.first.reliability != m.reliability ||
        s.first.channel != m.channel) {
        report.skip(Skip::SplitBad, record);
        return false;
    }
    if (s.partBits[m.splitIndex] != 0) {
        report.skip(Skip::Duplicate, record);
        return false;
    }
    size_t bytes = (m.bits + 7) / 8;
    while (splitBytes_ + bytes > maxSplitBytes && !splits_.empty()) {
        auto victim = splits_.begin();
        if (victim == it && std::next(victim) != splits_.end())
            victim = std::next(victim);
        if (victim == it) {
            report.skip(Skip::SplitDropped, s.firstRecord);
            splitBytes_ -= s.bytes;
            splits_.erase(it);
            return false;
        }
        dropSplit(victim, report);
    }
    if (m.splitIndex == 0)
        s.first = m;
    s.parts[m.splitIndex].assign(m.data, m.data + bytes);
    s.partBits[m.splitIndex] = m.bits;
    s.bytes += bytes;
    splitBytes_ += bytes;
    s.received++;
    s.lastNs = timeNs;
    return s.received == s.count;
}

void Receiver::dropSplit(std::map<uint16_t, Split>::iterator it, Report &report) {
    report.skip(Skip::SplitDropped, it->second.firstRecord);
    splitBytes_ -= it->second.bytes;
    splits_.erase(it);
}

// A whole message, split or not, through its channel's rule.
void Receiver::afterJoin(const MessageHeader &m, const unsigned char *data, uint32_t bits,
                         uint64_t record, Delivery &delivery, Report &report) {
    if (isSequenced(m.reliability)) {
        Channel &c = channels_[m.channel];
        if (!c.sequencedKnown) {
            c.sequencedKnown = true;
            c.sequenced = m.orderingIndex;
        }
        if (isOlder(m.orderingIndex, c.sequenced)) {
            report.skip(Skip::OldSequenced, record);
            return;
        }
        c.sequenced = static_cast<uint16_t>(m.orderingIndex + 1);
        delivery.deliver(data, bits);
        return;
    }
    if (!isOrdered(m.reliability)) {
        delivery.deliver(data, bits);
        return;
    }
    Channel &c = channels_[m.channel];
    if (!c.orderedKnown) {
        c.orderedKnown = true;
        c.ordered = m.orderingIndex;
    }
    if (m.orderingIndex != c.ordered) {
        // Sent before the one awaited: it was delivered already (or, in a
        // capture begun mid-session, before the capture began).
        if (isOlder(m.orderingIndex, c.ordered)) {
            report.skip(Skip::OldOrdered, record);
            return;
        }
        size_t bytes = (bits + 7) / 8;
        if (heldMessages_ >= maxHeldMessages || heldBytes_ + bytes > maxHeldBytes) {
            report.skip(Skip::HeldOverflow, record);
            return;
        }
        auto [slot, added] = c.held.try_emplace(m.orderingIndex);
        if (!added) {
            report.skip(Skip::Duplicate, record);
            return;
        }
        slot->second.data.assign(data, data + bytes);
        slot->second.bits = bits;
        slot->second.record = record;
        heldMessages_++;
        heldBytes_ += bytes;
        return;
    }
    delivery.deliver(data, bits);
    c.ordered++;
    // The gap is filled: what waited behind it follows, in order.
    for (auto it = c.held.find(c.ordered); it != c.held.end(); it = c.held.find(c.ordered)) {
        Held held = std::move(it->second);
        c.held.erase(it);
        heldMessages_--;
        heldBytes_ -= held.data.size();
        delivery.deliver(held.data.data(), held.bits);
        c.ordered++;
    }
}

void Receiver::finish(Report &report) {
    for (Channel &c : channels_) {
        for (const auto &[index, held] : c.held)
            report.skip(Skip::HeldAtEnd, held.record);
        c.held.clear();
    }
    heldMessages_ = heldBytes_ = 0;
    for (const auto &[id, s] : splits_)
        report.skip(Skip::SplitDropped, s.firstRecord);
    splits_.clear();
    splitBytes_ = 0;
}

} // namespace capture
