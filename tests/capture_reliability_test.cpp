// The reliability layer as the client receives the server's datagrams:
// what is handed up, in which order, and what is dropped.
#include "bits.h"
#include "capture_writer.h"
#include "reliability.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace capwrite;
using capture::MessageHeader;
using capture::Receiver;
using capture::Report;
using capture::Skip;

namespace {

// What the receiver hands up, each message as its bytes and bit length.
struct Collected : capture::Delivery {
    std::vector<Payload> messages;
    void deliver(const unsigned char *data, uint32_t bits) override {
        messages.push_back({Bytes(data, data + (bits + 7) / 8), bits});
    }
};

// A one-byte message marked with `mark`, so the test can tell them apart.
Message numbered(uint16_t number, uint8_t reliability, unsigned char mark, uint16_t index = 0,
                 uint8_t channel = 2) {
    Message m;
    m.number = number;
    m.reliability = reliability;
    m.channel = channel;
    m.orderingIndex = index;
    m.data = {mark};
    m.bits = 8;
    return m;
}

struct Link {
    Receiver receiver;
    Collected out;
    Report report;
    uint64_t timeNs = 1'000'000'000;
    uint64_t record = 0;
    bool receive(const Bytes &d) {
        record++;
        timeNs += 10'000'000;
        return receiver.receive(d.data(), d.size(), timeNs, record, out, report);
    }
    std::string marks() const {
        std::string s;
        for (const Payload &p : out.messages)
            s += static_cast<char>(p.data[0]);
        return s;
    }
};

} // namespace

TEST(CaptureBits, CompressedIntegersReadAsTheServerWritesThem) {
    // u16 5 -> 1 1 0101; 64 -> 1 0 01000000; 336 -> 0 01010000 00000001.
    for (uint32_t value : {5u, 64u, 336u, 0u, 15u, 16u, 65535u}) {
        Bits b;
        b.compressed(value, 2);
        b.bits(0x5, 3); // something after it, to see the reader stop right
        capture::BitReader in(b.bytes().data(), b.bytes().size(), b.size());
        uint32_t read = 0, after = 0;
        ASSERT_TRUE(in.compressed(read, 2));
        ASSERT_TRUE(in.bits(after, 3));
        EXPECT_EQ(read, value);
        EXPECT_EQ(after, 5u);
    }
    Bits five;
    five.compressed(5, 2);
    EXPECT_EQ(five.size(), 6u);
    EXPECT_EQ(five.bytes()[0], 0xD4); // 110101.. as written above
    for (uint32_t value : {0x12345678u, 0x00012345u, 0x100u, 7u}) {
        Bits b;
        b.compressed(value, 4);
        capture::BitReader in(b.bytes().data(), b.bytes().size(), b.size());
        uint32_t read = 0;
        ASSERT_TRUE(in.compressed(read, 4));
        EXPECT_EQ(read, value);
        EXPECT_EQ(in.remaining(), 0u);
    }
}

TEST(CaptureBits, FieldsOfEveryWidthReadBackWhereverTheyStartAndToTheLastBit) {
    // Widths 1 to 32 after every lead of 0 to 7 bits, so that fields start
    // at each bit of a byte, far from the end and within its last bytes.
    for (unsigned lead = 0; lead < 8; lead++) {
        Bits b;
        b.bits(0x5A, lead);
        std::vector<uint32_t> written;
        for (unsigned width = 1; width <= 32; width++) {
            uint32_t value = (0x9E3779B9u * width) >> (32 - width);
            written.push_back(value);
            b.bits(value, width);
        }
        b.u16(0xBEEF);
        capture::BitReader in(b.bytes().data(), b.bytes().size(), b.size());
        ASSERT_TRUE(in.skip(lead));
        for (unsigned width = 1; width <= 32; width++) {
            uint32_t read = 0;
            ASSERT_TRUE(in.bits(read, width)) << lead << " " << width;
            EXPECT_EQ(read, written[width - 1]) << "lead " << lead << ", width " << width;
        }
        uint32_t last = 0;
        ASSERT_TRUE(in.u16(last));
        EXPECT_EQ(last, 0xBEEFu) << lead;
        EXPECT_EQ(in.remaining(), 0u);
        EXPECT_FALSE(in.bits(last, 1));
    }
}

TEST(CaptureBits, AHeaderReadsTheSameAtADatagramsEndAndFarFromIt) {
    // Alone at the end of its datagram a header is read field by field;
    // with a long message after it, from one word. Every kind of message,
    // split or not, after acknowledgements of 0 to 3 ranges (which move
    // where it starts within its byte), must read the same both ways.
    Message after;
    after.reliability = 8;
    after.data = Bytes(64, 0xA5);
    after.bits = 64 * 8;
    auto headers = [](const Bytes &d) {
        std::vector<std::pair<MessageHeader, ptrdiff_t>> seen;
        capture::parseDatagram(d.data(), d.size(), [&](const MessageHeader &m) {
            seen.emplace_back(m, m.data - d.data());
        });
        return seen;
    };
    int compared = 0;
    for (uint8_t reliability = 6; reliability <= 10; reliability++) {
        for (uint32_t splitCount : {0u, 2u, 300u, 70000u}) {
            for (uint32_t bits : {1u, 9u, 15u, 200u, 4000u}) {
                for (size_t acks = 0; acks < 4; acks++) {
                    Message m;
                    m.number = 0xA1B2;
                    m.reliability = reliability;
                    m.channel = 0x1F;
                    m.orderingIndex = 0xC3D4;
                    m.split = splitCount != 0;
                    m.splitId = 0xE5F6;
                    m.splitCount = splitCount;
                    m.splitIndex = splitCount ? splitCount - 1 : 0;
                    m.data = Bytes((bits + 7) / 8, 0x3C);
                    m.bits = bits;
                    std::vector<std::pair<uint16_t, uint16_t>> ranges;
                    for (size_t a = 0; a < acks; a++)
                        ranges.emplace_back(static_cast<uint16_t>(a * 10),
                                            a % 2 ? a * 10 + 3 : a * 10);
                    auto atEnd = headers(datagram({m}, ranges));
                    auto farFrom = headers(datagram({m, after}, ranges));
                    ASSERT_EQ(atEnd.size(), 1u);
                    ASSERT_EQ(farFrom.size(), 2u);
                    const MessageHeader &a = atEnd[0].first, &b = farFrom[0].first;
                    std::string kind = "reliability " + std::to_string(reliability) +
                                       ", split into " + std::to_string(splitCount) + ", " +
                                       std::to_string(bits) + " bits, " + std::to_string(acks) +
                                       " ranges";
                    EXPECT_EQ(a.number, 0xA1B2) << kind;
                    EXPECT_EQ(a.number, b.number) << kind;
                    EXPECT_EQ(a.reliability, b.reliability) << kind;
                    EXPECT_EQ(a.channel, b.channel) << kind;
                    EXPECT_EQ(a.orderingIndex, b.orderingIndex) << kind;
                    EXPECT_EQ(a.split, b.split) << kind;
                    EXPECT_EQ(a.splitId, b.splitId) << kind;
                    EXPECT_EQ(a.splitIndex, b.splitIndex) << kind;
                    EXPECT_EQ(a.splitCount, b.splitCount) << kind;
                    EXPECT_EQ(a.bits, bits) << kind;
                    EXPECT_EQ(b.bits, bits) << kind;
                    EXPECT_EQ(atEnd[0].second, farFrom[0].second) << kind;
                    EXPECT_EQ(farFrom[1].first.bits, after.bits) << kind;
                    compared++;
                }
            }
        }
    }
    EXPECT_EQ(compared, 5 * 4 * 5 * 4);
}

TEST(CaptureBits, CopyTakesUnalignedBitsAndClearsTheRest) {
    Bits b;
    b.bits(0x3, 3);                   // three bits before
    b.append({0xAB, 0xCD, 0xFF}, 20); // 0xABCDF
    capture::BitReader in(b.bytes().data(), b.bytes().size(), b.size());
    ASSERT_TRUE(in.skip(3));
    unsigned char out[3] = {0x11, 0x22, 0x33};
    ASSERT_TRUE(in.copy(out, 20));
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[1], 0xCD);
    EXPECT_EQ(out[2], 0xF0);
    EXPECT_FALSE(in.copy(out, 1)); // nothing left
}

TEST(CaptureReliability, SeveralMessagesBehindAcknowledgementsAllComeOutInOrder) {
    Link link;
    link.receiver.reset(true);
    Sender s;
    std::vector<Message> ms;
    Payload sync = footSync(3, 8, 0.2f);
    for (auto m : s.send(sync, 7, 1))
        ms.push_back(m);
    for (auto m : s.send(rpc(126, {3, 0, 0}, 24), 9, 2))
        ms.push_back(m);
    for (auto m : s.send(whole({230, 1, 2}), 8, 0))
        ms.push_back(m);
    // Acknowledgements of the client's messages ride in front: one single
    // number and one range.
    ASSERT_TRUE(link.receive(datagram(ms, {{7, 7}, {9, 300}})));
    ASSERT_EQ(link.out.messages.size(), 3u);
    EXPECT_EQ(link.out.messages[0].bits, sync.bits);
    EXPECT_EQ(link.out.messages[0].data, sync.data);
    EXPECT_EQ(link.out.messages[1].data, rpc(126, {3, 0, 0}, 24).data);
    EXPECT_EQ(link.out.messages[2].data, (Bytes{230, 1, 2}));
    // A datagram of acknowledgements alone is read and hands up nothing.
    EXPECT_TRUE(link.receive(datagram({}, {{1, 2}})));
    EXPECT_EQ(link.out.messages.size(), 3u);
}

TEST(CaptureReliability, ResentCopiesAreDroppedWhereverTheySitInTheDatagram) {
    Link link;
    link.receiver.reset(true);
    Message a = numbered(0, 8, 'a'), b = numbered(1, 9, 'b', 0);
    link.receive(datagram({a, b}));
    // The same two again, behind acknowledgements this time, so at other bit
    // offsets, and again later after newer messages.
    link.receive(datagram({a, b}, {{5, 5}}));
    link.receive(datagram({numbered(2, 6, 'c')}));
    link.receive(datagram({b}));
    EXPECT_EQ(link.marks(), "abc");
    EXPECT_EQ(link.report.tally(Skip::Duplicate).count, 3u);
    EXPECT_EQ(link.report.tally(Skip::Duplicate).firstRecord, 2u);
}

TEST(CaptureReliability, OrderedChannelsWaitForTheirGapAndThenReleaseInOrder) {
    Link link;
    link.receiver.reset(true);
    // Channel 2 indices 0..3 arrive as 0, 2, 3, then 1; channel 3 is not held
    // up by channel 2's gap; an unreliable message passes straight through.
    link.receive(datagram({numbered(0, 9, 'a', 0)}));
    link.receive(datagram({numbered(2, 9, 'c', 2), numbered(3, 9, 'd', 3)}));
    link.receive(datagram({numbered(4, 9, 'x', 0, 3), numbered(5, 6, 'u')}));
    EXPECT_EQ(link.marks(), "axu");
    link.receive(datagram({numbered(1, 9, 'b', 1)}));
    EXPECT_EQ(link.marks(), "axubcd");
    // A gap never filled: counted at the end with its first record.
    link.receive(datagram({numbered(7, 9, 'f', 5)}));
    link.receiver.finish(link.report);
    EXPECT_EQ(link.marks(), "axubcd");
    EXPECT_EQ(link.report.tally(Skip::HeldAtEnd).count, 1u);
    EXPECT_EQ(link.report.tally(Skip::HeldAtEnd).firstRecord, 5u);
}

TEST(CaptureReliability, SequencedChannelsDropWhatIsOlderThanTheLastDelivered) {
    Link link;
    link.receiver.reset(true);
    link.receive(datagram({numbered(0, 7, 'a', 0, 1)}));
    link.receive(datagram({numbered(2, 7, 'c', 2, 1)}));
    link.receive(datagram({numbered(1, 7, 'b', 1, 1)})); // late: older than 'c'
    link.receive(datagram({numbered(3, 10, 'd', 3, 1)}));
    link.receive(datagram({numbered(4, 7, 'e', 0, 4)})); // another channel
    EXPECT_EQ(link.marks(), "acde");
    EXPECT_EQ(link.report.tally(Skip::OldSequenced).count, 1u);
}

TEST(CaptureReliability, CountersWrapAround) {
    Link link;
    link.receiver.reset(true);
    Sender s;
    s.nextNumber = 65534;
    s.nextOrdered[2] = 65535;
    s.nextSequenced[1] = 65534;
    std::vector<Message> all;
    for (char c : std::string("abcd")) {
        auto m = s.send(whole({static_cast<unsigned char>(c)}), 9, 2).front();
        all.push_back(m);
    }
    for (char c : std::string("wxyz")) {
        auto m = s.send(whole({static_cast<unsigned char>(c)}), 7, 1).front();
        all.push_back(m);
    }
    // Counters unknown at the start (a capture begun late): from the first
    // seen on. Ordered 65535, 0, 1, 2 with 0 arriving last.
    link.receiver.reset(false);
    link.receive(datagram({all[0], all[2], all[3]}));
    link.receive(datagram({all[1]}));
    link.receive(datagram({all[4], all[6], all[5], all[7]}));
    link.receive(datagram({all[0], all[5]})); // old copies across the wrap
    EXPECT_EQ(link.marks(), "abcdwyz");
    EXPECT_EQ(link.report.tally(Skip::OldSequenced).count, 1u);
    EXPECT_EQ(link.report.tally(Skip::Duplicate).count, 2u);
}

TEST(CaptureReliability, SplitMessagesJoinInIndexOrderWithTheirExactBitLength) {
    Sender s;
    // 1400 bytes and 3 bits on the ordered channel: three parts.
    Payload big;
    for (int i = 0; i < 1401; i++)
        big.data.push_back(static_cast<unsigned char>(i * 7));
    big.data.back() &= 0xE0;
    big.bits = 1400 * 8 + 3;
    std::vector<Message> parts = s.send(big, 9, 2);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].bits, 528u * 8);
    // The parts arrive last first, the middle one twice.
    Link link;
    link.receiver.reset(true);
    link.receive(datagram({parts[2]}));
    link.receive(datagram({parts[1]}));
    link.receive(datagram({parts[1]}));
    EXPECT_TRUE(link.out.messages.empty());
    link.receive(datagram({parts[0]}));
    ASSERT_EQ(link.out.messages.size(), 1u);
    EXPECT_EQ(link.out.messages[0].bits, big.bits);
    EXPECT_EQ(link.out.messages[0].data, big.data);

    // A message whose last part is exactly a whole block: the joined length
    // is rounded up to whole bytes, as the network layer does.
    Sender t;
    Payload even;
    even.data.assign(531 * 2, 0x5A);
    even.bits = 531 * 16 - 5;
    parts = t.send(even, 8, 0);
    ASSERT_EQ(parts.size(), 2u);
    Link other;
    other.receiver.reset(true);
    other.receive(datagram({parts[0], parts[1]}));
    ASSERT_EQ(other.out.messages.size(), 1u);
    EXPECT_EQ(other.out.messages[0].bits, 531u * 16);
}

TEST(CaptureReliability, BrokenOrHostileSplitsAreBoundedAndCounted) {
    Link link;
    link.receiver.reset(true);
    Message part = numbered(0, 8, 'p');
    part.split = true;
    part.splitId = 9;
    part.splitCount = 2;
    part.splitIndex = 5; // past the count
    link.receive(datagram({part}));
    part.number = 1;
    part.splitIndex = 0;
    part.splitCount = 100000; // more parts than any message has
    link.receive(datagram({part}));
    EXPECT_EQ(link.report.tally(Skip::SplitBad).count, 2u);
    // Many unfinished splits: the oldest are given up, never more than the
    // limit held; what is left is counted at the end.
    for (uint16_t i = 0; i < 200; i++) {
        Message m = numbered(static_cast<uint16_t>(10 + i), 8, 'q');
        m.split = true;
        m.splitId = i;
        m.splitCount = 3;
        link.receive(datagram({m}));
    }
    link.receiver.finish(link.report);
    EXPECT_EQ(link.report.tally(Skip::SplitDropped).count, 200u);
    EXPECT_TRUE(link.out.messages.empty());
}

TEST(CaptureReliability, UnreadableDatagramsAndMessagesCutShort) {
    Link link;
    link.receiver.reset(true);
    // A reliability value no server writes, a message whose data runs past
    // the end, acknowledgements promised but missing: nothing can be read.
    Message bad = numbered(0, 3, 'z');
    EXPECT_FALSE(link.receive(datagram({bad})));
    Bytes zero = datagram({numbered(0, 6, 'z')});
    zero.resize(4); // the data byte gone
    EXPECT_FALSE(link.receive(zero));
    EXPECT_FALSE(link.receive({0x80})); // acknowledgements promised, none there
    // A good message, then a broken one: the first is handed up.
    Bytes two = datagram({numbered(0, 6, 'a'), numbered(1, 6, 'b')});
    two.pop_back();
    EXPECT_TRUE(link.receive(two));
    EXPECT_EQ(link.marks(), "a");
    EXPECT_EQ(link.report.tally(Skip::CutShort).count, 1u);
}

TEST(CaptureReliability, ACaptureBegunLateDropsOrderedResendsFromBeforeItsStart) {
    Link link;
    link.receiver.reset(false);
    link.receive(datagram({numbered(100, 9, 'k', 40)}));
    // A resend of index 39 (message 99), from before the capture began: it
    // would stall the channel for good if it were waited for.
    link.receive(datagram({numbered(101, 9, 'l', 41), numbered(99, 9, 'j', 39)}));
    link.receive(datagram({numbered(102, 9, 'm', 42)}));
    EXPECT_EQ(link.marks(), "klm");
    EXPECT_EQ(link.report.tally(Skip::Duplicate).count, 1u);
}

TEST(CaptureReliability, HoldingIsBoundedAgainstAGapThatNeverFills) {
    Link link;
    link.receiver.reset(true);
    // Index 0 never comes; every later one waits, up to the limit.
    std::vector<Message> batch;
    uint32_t sent = 0;
    for (uint32_t n = 1; n <= 40000; n++) {
        batch.push_back(numbered(static_cast<uint16_t>(n), 9, 'h', static_cast<uint16_t>(n)));
        if (batch.size() == 60) {
            link.receive(datagram(batch));
            sent += 60;
            batch.clear();
        }
    }
    link.receiver.finish(link.report);
    EXPECT_TRUE(link.out.messages.empty());
    // Numbers and indices more than half the range ahead count as old
    // copies; the rest wait until the end, at most half the range of them.
    uint64_t waited = link.report.tally(Skip::HeldAtEnd).count;
    uint64_t old =
        link.report.tally(Skip::OldOrdered).count + link.report.tally(Skip::Duplicate).count;
    EXPECT_EQ(waited + old, sent);
    EXPECT_LE(waited, 32768u);
}

TEST(CaptureReliability, AnOrderedIndexAlreadyPastIsDroppedNotHeldUntilTheIndexWraps) {
    Link link;
    link.receiver.reset(true);
    link.receive(datagram({numbered(0, 9, 'a', 0), numbered(1, 9, 'b', 1)}));
    // A new message number with an index the channel has passed: held, it
    // would come out 65535 messages later, long after its time.
    link.receive(datagram({numbered(2, 9, 'x', 0)}));
    link.receive(datagram({numbered(3, 9, 'c', 2)}));
    link.receiver.finish(link.report);
    EXPECT_EQ(link.marks(), "abc");
    EXPECT_EQ(link.report.tally(Skip::OldOrdered).count, 1u);
    EXPECT_EQ(link.report.tally(Skip::OldOrdered).firstRecord, 2u);
    EXPECT_EQ(link.report.tally(Skip::HeldAtEnd).count, 0u);
}
