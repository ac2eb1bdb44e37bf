// A capture file to replay events, end to end: finding the server, the
// handshake and the key, what is handed up, the player pool, and the frames
// and clock of the capture's time line.
#include "capture.h"
#include "capture_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace capwrite;
using capture::Skip;

namespace {

std::string hex(const Bytes &b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

// One event as a short line, with the record that caused it.
struct Describe {
    std::string operator()(const replay::SetTick &e) { return "tick " + std::to_string(e.tick); }
    std::string operator()(const replay::Frames &e) { return "frame " + std::to_string(e.count); }
    std::string operator()(const replay::Packet &e) {
        return "packet " + std::to_string(e.id) + " " + std::to_string(e.bitCount) + " " +
               hex(e.bytes);
    }
    std::string operator()(const replay::Rpc &e) {
        return "rpc " + std::to_string(e.id) + " " + std::to_string(e.bitCount) + " " + hex(e.data);
    }
    std::string operator()(const replay::SetPlayer &e) {
        std::string s = "player " + std::to_string(e.id);
        if (e.name)
            s += *e.name ? " name " + **e.name : " no name";
        if (e.colour) {
            char c[24];
            (void)std::snprintf(c, sizeof c, " colour %08X", *e.colour);
            s += c;
        }
        return s;
    }
    template <class Other> std::string operator()(const Other &) { return "setting"; }
};

struct Played {
    capture::Result result;
    std::vector<std::string> events; // "RECORD: event"
    std::vector<uint64_t> outcomes;  // record numbers as they were settled
    std::vector<bool> used;
    // The events after the host settings and the start-up frame.
    std::vector<std::string> after(size_t skip = 7) const {
        return std::vector<std::string>(events.begin() + static_cast<long>(skip), events.end());
    }
};

Played play(const Bytes &file, capture::Options options = {}) {
    Played run;
    options.onRecord = [&run](uint64_t record, bool used) {
        run.outcomes.push_back(record);
        run.used.push_back(used);
    };
    std::FILE *f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    run.result = capture::readCapture(f, options, [&run](const replay::Event &e, uint64_t record) {
        run.events.push_back(std::to_string(record) + ": " + std::visit(Describe{}, e));
    });
    std::fclose(f);
    return run;
}

const uint64_t t0 = 1700000000000000000ull;
const uint64_t ms = 1000000;

// The server's side of a connection that writes whole datagrams.
struct Server {
    Timeline timeline;
    Sender sender;
    std::optional<std::array<unsigned char, 4>> key;
    Address from = serverAddress, to = clientAddress;

    void raw(uint64_t at, const Bytes &payload) {
        Bytes d = key ? scramble(payload, *key) : payload;
        for (Bytes &ip : ipv4Udp(from, to, d, timeline.ipId++))
            timeline.frames.push_back({t0 + at, ethernet(ip), 0, 0});
    }
    // The client's scrambled datagrams (bytes that read as no message).
    void fromClient(uint64_t at, const Bytes &payload) {
        for (Bytes &ip : ipv4Udp(to, from, payload, timeline.ipId++))
            timeline.frames.push_back({t0 + at, ethernet(ip), 0, 0});
    }
    // The client's connection request and the server's reply.
    void connect(uint64_t at) {
        fromClient(at, {0x9D, 0x18, 0x47, 0xE2});
        raw(at + 1 * ms, {25, 0});
        sender = Sender{};
    }
    void send(uint64_t at, const std::vector<std::pair<Payload, uint8_t>> &messages) {
        std::vector<Message> all;
        for (const auto &[payload, reliability] : messages) {
            uint8_t channel = reliability == 7 ? 1 : reliability == 9 ? 2 : 0;
            for (Message &m : sender.send(payload, reliability, channel))
                all.push_back(m);
        }
        raw(at, datagram(all));
    }
    Bytes file() const { return pcap(timeline.frames, 1); }
};

Payload join(uint16_t id, uint32_t rgba, const std::string &name) {
    Bits b;
    b.u16(id);
    b.u32(rgba);
    b.u8(0);
    b.u8(static_cast<uint32_t>(name.size()));
    for (char c : name)
        b.u8(static_cast<unsigned char>(c));
    return rpc(137, b.bytes(), b.size());
}

} // namespace

TEST(CaptureSession, ASessionFromItsHandshakeHandsUpWhatTheClientGot) {
    Server s;
    s.connect(0);
    // Connection management the client keeps to itself, then a player's
    // join, a spectate order and a sync packet, all in one datagram.
    s.send(5 * ms, {{whole({34, 10, 0, 0, 2, 0x22, 0xC8, 0, 0, 1, 2, 3, 4}), 8},
                    {whole({6, 1, 2, 3, 4}), 6}});
    Payload sync = footSync(7, 8, 0.2f);
    s.send(20 * ms, {{join(7, 0x6495EDFF, "Abc"), 9}, {rpc(126, {7, 0, 0}, 24), 9}, {sync, 7}});
    Played run = play(s.file());
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(capture::text(run.result.server), "192.168.10.10:7777");
    std::vector<std::string> start(run.events.begin(), run.events.begin() + 7);
    EXPECT_EQ(start,
              (std::vector<std::string>{"1: tick 1000000", "1: setting", "1: setting", "1: setting",
                                        "1: setting", "1: frame 1", "4: tick 1000020"}));
    EXPECT_EQ(run.after(), (std::vector<std::string>{
                               "4: rpc 137 88 0700FFED95640003416263",
                               "4: player 7 name Abc colour FF6495ED",
                               "4: rpc 126 24 070000",
                               "4: packet 207 " + std::to_string(sync.bits) + " " + hex(sync.data),
                               "4: tick 1000050",
                               "4: frame 1",
                           }))
        << "the join's parameters are 88 bits: id, colour, NPC byte, name length, name";
    EXPECT_EQ(run.result.report.summary(), "");
    EXPECT_TRUE(run.result.report.notes.empty());
}

TEST(CaptureSession, FramesRunOnTheCaptureClockAndMessagesTakeTheirRecordsTime) {
    Server s;
    s.connect(0);
    s.send(120 * ms, {{whole({200, 1}), 6}});
    // Stamped before the record before it: counts as that one's time.
    s.send(100 * ms, {{whole({200, 2}), 6}});
    s.send(151 * ms, {{whole({200, 3}), 6}});
    capture::Options options;
    options.frameMs = 40;
    Played run = play(s.file(), options);
    EXPECT_EQ(run.after(6), (std::vector<std::string>{
                                // Frames 1 and 2 (40, 80 ms) before record 3 at 120 ms,
                                // frame 3 (120 ms) too: it is due at that time.
                                "3: tick 1000040", "3: frame 1", "3: tick 1000080", "3: frame 1",
                                "3: tick 1000120", "3: frame 1", "3: packet 200 16 C801",
                                "4: packet 200 16 C802", "5: tick 1000151", "5: packet 200 16 C803",
                                // One frame after the last record.
                                "5: tick 1000160", "5: frame 1"}));
}

TEST(CaptureSession, AScrambledConnectionIsReadWithItsKey) {
    Server s;
    std::array<unsigned char, 4> key = {0x11, 0x9C, 0x3E, 0xA7};
    // The request, the cookie request, the request again with the cookie,
    // the key, and the reply under the key: only then is it a handshake.
    s.fromClient(0, {0x4E, 0x01, 0x02, 0x03});
    s.raw(0, {26, 0x70, 0x6D});
    s.fromClient(0, {0x4E, 0x07, 0x08, 0x09});
    s.raw(1 * ms, keyDatagram(key));
    s.key = key; // from here on, the reply included
    s.raw(2 * ms, {25, 0});
    s.send(10 * ms, {{rpc(126, {3, 0, 0}, 24), 9}, {whole({207, 3}), 7}});
    // A datagram sent as it stands (the server dropped the key on its way
    // out): its checksum fails, so it is read as plain.
    s.key.reset();
    s.send(20 * ms, {{rpc(124, {0, 0, 0, 0}, 32), 9}});
    Played run = play(s.file());
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(run.after(), (std::vector<std::string>{
                               "6: rpc 126 24 030000", "6: packet 207 16 CF03", "7: tick 1000020",
                               "7: rpc 124 32 00000000", "7: tick 1000050", "7: frame 1"}));
    EXPECT_EQ(run.result.report.summary(), "");
    EXPECT_TRUE(run.result.report.notes.empty()) << "found by its handshake";
}

TEST(CaptureSession, ACaptureBegunMidSessionSaysItsCountersAreUnknown) {
    Server s;
    // No handshake: the server is told from the client by which side's
    // datagrams read as message blocks. The client's are scrambled.
    s.sender.nextNumber = 5000;
    s.sender.nextOrdered[2] = 300;
    s.send(0, {{rpc(126, {9, 0, 0}, 24), 9}});
    s.fromClient(1 * ms, {0x5B, 0xE1, 0x07, 0x9A, 0x33, 0xC4, 0x10, 0xFE, 0x88});
    s.send(2 * ms, {{rpc(124, {0, 0, 0, 0}, 32), 9}});
    // A few datagrams each way are too few to go by.
    EXPECT_EQ(play(s.file()).result.error,
              "found no game server's traffic in the capture; name the server with --server "
              "HOST:PORT");
    // Eight each way are enough at the end of a capture.
    for (uint8_t i = 0; i < 7; i++) {
        s.fromClient((3 + i) * ms, {0x5B, 0xE1, i, 0x9A, 0x33, 0xC4, 0x10, 0xFE, 0x88});
        s.send((3 + i) * ms, {{whole({200, i}), 6}});
    }
    Played run = play(s.file());
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(std::vector<std::string>(run.events.begin() + 6, run.events.begin() + 11),
              (std::vector<std::string>{"1: rpc 126 24 090000", "3: tick 1000002",
                                        "3: rpc 124 32 00000000", "5: tick 1000003",
                                        "5: packet 200 16 C800"}));
    ASSERT_EQ(run.result.report.notes.size(), 2u);
    EXPECT_NE(run.result.report.notes[0].find("no connection handshake"), std::string::npos);
    EXPECT_NE(run.result.report.notes[1].find("message counters are unknown"), std::string::npos);
}

// Two connections in one capture: `a` connects at 0 and sends a packet
// (200 AA) at 10 ms, `b` connects at 2 ms and sends 200 BB at 11 ms.
static Bytes twoConnections(Server &a, Server &b) {
    a.connect(0);
    b.connect(2 * ms);
    a.send(10 * ms, {{whole({200, 0xAA}), 8}});
    b.send(11 * ms, {{whole({200, 0xBB}), 8}});
    std::vector<Frame> both = a.timeline.frames;
    for (Frame f : b.timeline.frames)
        both.push_back(f);
    std::sort(both.begin(), both.end(),
              [](const Frame &x, const Frame &y) { return x.timeNs < y.timeNs; });
    return pcap(both, 1);
}

TEST(CaptureSession, TheServerBrowsersQueryBeforeConnectingIsNoConnection) {
    Server s;
    // "SAMP", the server's address and port, then the query's kind ('i':
    // its name and player count) and, in the reply, the answer.
    Bytes query = {'S', 'A', 'M', 'P', 192, 168, 10, 10, 0x61, 0x1E, 'i'};
    Bytes reply = query;
    reply.insert(reply.end(), {0, 2, 0, 50, 0});
    s.timeline.fromClient(t0, query);
    s.raw(1 * ms, reply);
    s.connect(3 * ms);
    s.send(10 * ms, {{whole({200, 0xAA}), 8}});
    Played run = play(s.file());
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(run.after(),
              (std::vector<std::string>{"5: packet 200 16 C8AA", "5: tick 1000050", "5: frame 1"}));
    EXPECT_EQ(run.result.report.notes, std::vector<std::string>{}) << "read from its handshake";
    EXPECT_EQ(run.result.report.summary(), "");
}

TEST(CaptureSession, TheFirstServerIsFollowedAndALaterOneIsSkippedAndNamed) {
    Server a, b;
    b.from = {0x0A000001, 7000};
    b.to = {0x0A000002, 40000};
    Bytes file = twoConnections(a, b);
    Played first = play(file);
    ASSERT_EQ(first.result.error, "");
    // The last frame carries the last record of the server followed.
    EXPECT_EQ(first.after(),
              (std::vector<std::string>{"5: packet 200 16 C8AA", "5: tick 1000050", "5: frame 1"}));
    EXPECT_EQ(first.result.report.notes,
              (std::vector<std::string>{"a connection to another game server, 10.0.0.1:7000, "
                                        "begins at record 3: its traffic is skipped (--server "
                                        "10.0.0.1:7000 would follow it instead)"}));

    capture::Options options;
    options.server = capture::parseEndpoint("10.0.0.1:7000");
    Played chosen = play(file, options);
    ASSERT_EQ(chosen.result.error, "");
    EXPECT_EQ(chosen.after(),
              (std::vector<std::string>{"6: packet 200 16 C8BB", "6: tick 1000050", "6: frame 1"}));
    EXPECT_EQ(chosen.result.report.tally(Skip::OtherTraffic).count, 3u);
    EXPECT_EQ(chosen.result.report.tally(Skip::OtherTraffic).firstRecord, 1u);

    options.server = capture::parseEndpoint("10.0.0.9:7000");
    EXPECT_EQ(play(file, options).result.error,
              "the capture holds no UDP traffic of 10.0.0.9:7000");
    EXPECT_FALSE(capture::parseEndpoint("10.0.0.256:7000"));
    EXPECT_FALSE(capture::parseEndpoint("10.0.0.1"));
    EXPECT_FALSE(capture::parseEndpoint("10.0.0.1:70000"));
}

// A capture taken on the server holds its datagrams to every client: the
// first is followed unless --client names another, and the report names
// each client not followed, with the option that would follow it.
TEST(CaptureSession, OnTheServerOneClientsViewRunsAndTheOthersAreNamed) {
    Server a, b;
    b.to = {0xC0A80A1Eu, 50000}; // 192.168.10.30, the same server
    Bytes file = twoConnections(a, b);

    capture::Options first;
    first.client = capture::parseEndpoint("192.168.10.20:51234");
    for (capture::Options options : {capture::Options{}, first}) {
        Played run = play(file, options);
        ASSERT_EQ(run.result.error, "");
        EXPECT_EQ(run.after(), (std::vector<std::string>{"5: packet 200 16 C8AA", "6: tick 1000050",
                                                         "6: frame 1"}));
        EXPECT_EQ(run.result.report.notes,
                  (std::vector<std::string>{"the server also sent 2 datagrams to another client, "
                                            "192.168.10.30:50000, from record 4: --client "
                                            "192.168.10.30:50000 would follow it instead"}));
    }
    capture::Options other;
    other.client = capture::parseEndpoint("192.168.10.30:50000");
    Played chosen = play(file, other);
    EXPECT_EQ(chosen.after(),
              (std::vector<std::string>{"6: packet 200 16 C8BB", "6: tick 1000050", "6: frame 1"}));
    EXPECT_EQ(chosen.result.report.tally(Skip::OtherClient).count, 2u);
    EXPECT_EQ(chosen.result.report.notes,
              (std::vector<std::string>{"the server also sent 2 datagrams to another client, "
                                        "192.168.10.20:51234, from record 2: --client "
                                        "192.168.10.20:51234 would follow it instead"}));
}

TEST(CaptureSession, AReconnectStartsEveryCounterAfresh) {
    Server s;
    s.connect(0);
    s.send(5 * ms, {{whole({200, 1}), 9}, {whole({200, 2}), 9}});
    // The client connects again: numbers and indices start from 0 again and
    // are not taken for old copies.
    s.connect(10 * ms);
    s.send(15 * ms, {{whole({200, 3}), 9}});
    Played run = play(s.file());
    EXPECT_EQ(run.after(), (std::vector<std::string>{
                               "3: packet 200 16 C801", "3: packet 200 16 C802", "6: tick 1000015",
                               "6: packet 200 16 C803", "6: tick 1000050", "6: frame 1"}));
    EXPECT_EQ(run.result.report.summary(), "");
}

TEST(CaptureSession, RpcFramingAndPacketsKeepTheirExactBits) {
    Server s;
    s.connect(0);
    Bits odd; // 13 parameter bits: 1 0110 1001 0111
    odd.bits(0x1697, 13);
    Payload cut = rpc(126, {7, 0, 0}, 24);
    cut.bits -= 4; // the length promises more than the message holds
    Payload shortPacket{{207, 0xF0}, 12};
    s.send(5 * ms, {{rpc(126, {5, 0, 0}, 24, true), 9},
                    {rpc(124, {}, 0), 9},
                    {rpc(99, odd.bytes(), 13), 9},
                    {cut, 9},
                    {shortPacket, 6},
                    {whole({40, 1, 2, 3, 4, 207}), 6}}); // a time-stamped packet
    Played run = play(s.file());
    EXPECT_EQ(run.after(), (std::vector<std::string>{"3: rpc 126 24 050000", "3: rpc 124 0 ",
                                                     "3: rpc 99 13 B4B8", "3: packet 207 12 CFF0",
                                                     "3: packet 40 48 2801020304CF",
                                                     "3: tick 1000050", "3: frame 1"}));
    EXPECT_EQ(run.result.report.tally(Skip::BadRpc).count, 1u);
}

TEST(CaptureSession, PlayerPoolRpcsSetNamesAndColoursAsTheGameShowsThem) {
    Server s;
    s.connect(0);
    Bits quit, rename, colour, streamIn, streamInDl, shortJoin;
    quit.u16(7);
    quit.u8(1);
    rename.u16(7);
    rename.u8(4);
    for (char c : std::string("\xC2\xE0\xF1\xFF")) // Вася in Windows-1251
        rename.u8(static_cast<unsigned char>(c));
    rename.u8(1);
    colour.u16(7);
    colour.u32(0xFF8000AA);
    // Stream-in: id, team, skin, [custom skin], position, angle, colour,
    // fighting style, eleven skill levels.
    for (Bits *b : {&streamIn, &streamInDl}) {
        b->u16(7);
        b->u8(0);
        b->u32(101);
        if (b == &streamInDl)
            b->u32(0);
        for (int i = 0; i < 4; i++)
            b->u32(0x3F800000);
        b->u32(b == &streamIn ? 0x11223344u : 0x55667788u);
        b->u8(4);
        for (int i = 0; i < 11; i++)
            b->u16(999);
    }
    shortJoin.u16(8);
    shortJoin.u32(0x6495EDFF);
    s.send(5 * ms, {{join(7, 0x6495EDFF, "Abc"), 9},
                    {rpc(11, rename.bytes(), rename.size()), 9},
                    {rpc(72, colour.bytes(), colour.size()), 9},
                    {rpc(32, streamIn.bytes(), streamIn.size()), 9},
                    {rpc(32, streamInDl.bytes(), streamInDl.size()), 9},
                    {rpc(138, quit.bytes(), quit.size()), 9},
                    {rpc(137, shortJoin.bytes(), shortJoin.size()), 9}});
    Played run = play(s.file());
    std::vector<std::string> pool;
    for (const std::string &e : run.events)
        if (e.find("player") != std::string::npos)
            pool.push_back(e);
    EXPECT_EQ(pool, (std::vector<std::string>{
                        "3: player 7 name Abc colour FF6495ED", "3: player 7 name \xC2\xE0\xF1\xFF",
                        "3: player 7 colour AAFF8000", "3: player 7 colour 44112233",
                        "3: player 7 colour 88556677", "3: player 7 no name"}))
        << "a join too short for its name changes nothing";
}

TEST(CaptureSession, EveryRecordIsUsedOrSkippedOnceAndBadInputIsReported) {
    Server s;
    s.connect(0);
    s.send(5 * ms, {{whole({200, 1}), 8}});
    s.raw(6 * ms, {0x0F, 0xFF, 0xFF, 0xFF, 0xFF}); // no message block
    // Somebody else's traffic and a datagram to another client.
    for (Bytes &ip : ipv4Udp({0x08080808, 53}, clientAddress, {1, 2, 3}, 9))
        s.timeline.frames.push_back({t0 + 7 * ms, ethernet(ip), 0, 0});
    for (Bytes &ip : ipv4Udp(serverAddress, {0x0A000009, 1234}, datagram({}), 10))
        s.timeline.frames.push_back({t0 + 8 * ms, ethernet(ip), 0, 0});
    s.timeline.fromClient(9 * ms, {1, 2, 3, 4});
    s.send(10 * ms, {{whole({200, 2}), 8}});
    Bytes file = s.file();
    file.resize(file.size() - 2); // the last record cut short
    Played run = play(file);
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(run.outcomes, (std::vector<uint64_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(run.used, (std::vector<bool>{true, true, true, true, false, false, true}));
    const capture::Report &r = run.result.report;
    EXPECT_EQ(r.records, 7u);
    EXPECT_EQ(r.usedRecords + r.skippedRecords(), r.records);
    EXPECT_EQ(capture::messagesOf(run.result),
              (std::vector<std::string>{
                  "the server also sent 1 datagram to another client, 10.0.0.9:1234, from record "
                  "6: --client 10.0.0.9:1234 would follow it instead",
                  "the capture ends inside record 8 (74 bytes of it are there): it is left out",
                  "skipped 2 records (1 not the game server's, first record 5; 1 to another "
                  "client, first record 6), 1 datagram (1 unreadable, first record 4)"}));
    // The same capture gives the same events again.
    EXPECT_EQ(play(file).events, run.events);
}

TEST(CaptureSession, WhatIsNoGameTrafficIsRefusedWithAReason) {
    EXPECT_EQ(play({}).result.error, "the file is empty");
    Timeline other;
    for (Bytes &ip : ipv4Udp({0x08080808, 53}, clientAddress, {0x0F, 0xFF, 0xFF, 0xFF}, 9))
        other.frames.push_back({t0, ethernet(ip), 0, 0});
    EXPECT_EQ(play(pcap(other.frames, 1)).result.error,
              "found no game server's traffic in the capture; name the server with --server "
              "HOST:PORT");
    capture::Options slow;
    slow.frameMs = 1001;
    EXPECT_EQ(play(pcap(other.frames, 1), slow).result.error,
              "the frame time must be 1 to 1000 ms");
}

TEST(CaptureSession, StampsAtTheEndOfTheClocksRangeRunNoEndlessFrames) {
    Server s;
    s.connect(0);
    s.send(5 * ms, {{whole({200, 1}), 6}});
    s.send(6 * ms, {{whole({200, 2}), 6}});
    Bytes file = pcapng(s.timeline.frames, {{1, 6}});
    // Every record stamped at the very end of the clock's range (the reader
    // holds such a stamp at its largest value): frames are due by their
    // distance from the first record, never by a sum that overflows.
    size_t at = 0;
    while (at < file.size()) {
        auto type = static_cast<uint32_t>(file[at] | file[at + 1] << 8);
        auto length = static_cast<uint32_t>(file[at + 4] | file[at + 5] << 8);
        if (type == 6)
            for (int i = 0; i < 4; i++)
                file[at + 12 + static_cast<size_t>(i)] = 0xFF;
        at += length;
    }
    capture::Options options;
    options.frameMs = 1000;
    bool waited = false; // nor a wait for the game measured by such a sum
    options.onWaiting = [&waited](const std::string &) { waited = true; };
    Played run = play(file, options);
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(run.after(6),
              (std::vector<std::string>{"3: packet 200 16 C801", "4: packet 200 16 C802",
                                        "4: tick 1001000", "4: frame 1"}));
    EXPECT_FALSE(waited);
}

TEST(CaptureSession, AGapOfMoreThanAnHourCountsAsAnHour) {
    Server s;
    s.connect(0);
    s.send(5 * ms, {{whole({200, 1}), 6}});
    s.send(50ull * 3600 * 1000 * ms, {{whole({200, 2}), 6}}); // two days later
    capture::Options options;
    options.frameMs = 1000;
    Played run = play(s.file(), options);
    ASSERT_EQ(run.result.error, "");
    // Frames 1 to 3600 in the gap, then the record an hour and 5 ms in.
    EXPECT_EQ(run.events.size(), 6u + 2u + 2u * 3600u + 2u + 2u);
    EXPECT_EQ(run.events[run.events.size() - 4], "4: tick 4600005");
    ASSERT_EQ(run.result.report.notes.size(), 1u);
    EXPECT_NE(run.result.report.notes[0].find("record 4 is stamped more than an hour"),
              std::string::npos);
}
