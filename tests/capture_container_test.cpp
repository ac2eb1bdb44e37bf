// Capture files down to UDP datagrams: the containers (checked against
// files written by Wireshark's own tools, see captures/make.sh), the link
// layers, IPv4 fragments, and files cut short or broken.
#include "capture_writer.h"
#include "container.h"
#include "link.h"
#include "udp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace capwrite;
using namespace capture;

namespace {

struct Seen {
    uint64_t record;
    uint64_t timeNs;
    std::string from, to;
    Bytes payload;
};

struct Read {
    std::vector<Seen> datagrams;
    Report report;
    ContainerReader::Next end = ContainerReader::Next::End;
    std::string error;
    bool started = false;
};

// Every UDP datagram of a capture file, through the reader's stages.
Read readFile(std::FILE *f) {
    Read r;
    ContainerReader container(f);
    r.started = container.start();
    r.error = container.error();
    if (!r.started)
        return r;
    UdpReader udp;
    Record record;
    for (;;) {
        r.end = container.next(record);
        if (r.end != ContainerReader::Next::Record)
            break;
        const unsigned char *packet = nullptr;
        size_t size = 0;
        if (std::optional<Skip> why = ipv4Of(record, packet, size)) {
            r.report.skip(*why, record.number);
            continue;
        }
        Datagram d;
        Skip why = Skip::BadHeader;
        bool cut = record.capturedLength < record.originalLength;
        switch (udp.read(packet, size, cut, record.timeNs, record.number, d, why, r.report)) {
        case UdpReader::Outcome::Datagram:
            r.datagrams.push_back({record.number, record.timeNs, text(d.from), text(d.to),
                                   Bytes(d.data, d.data + d.size)});
            break;
        case UdpReader::Outcome::Held:
            break;
        case UdpReader::Outcome::Skipped:
            r.report.skip(why, record.number);
            break;
        }
    }
    r.error = container.error();
    if (r.end == ContainerReader::Next::Truncated) {
        r.report.truncated = true;
        r.report.truncatedRecord = container.truncatedRecord();
        r.report.truncatedBytes = container.truncatedBytes();
    }
    udp.finish(r.report);
    return r;
}

Read readBytes(const Bytes &bytes) {
    std::FILE *f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    Read r = readFile(f);
    std::fclose(f);
    return r;
}

Read readPath(const std::string &name) {
    std::string path = std::string(CAPTURES_DIR) + "/" + name;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (!f)
        return {};
    Read r = readFile(f);
    std::fclose(f);
    return r;
}

// The datagrams of captures/session.txt.
const std::vector<std::pair<uint64_t, Bytes>> sessionDatagrams = {
    {1700000000000100000ull, {0x19, 0x00}},
    {1700000000050000000ull,
     {0x00, 0x00, 0x01, 0x26, 0x0c, 0x40, 0x00, 0x00, 0x7e, 0x03, 0x00, 0x00}},
    {1700000000062500000ull,
     {0x00, 0x00, 0x02, 0x00, 0x50, 0x40, 0xcf, 0x05, 0x00, 0x08, 0x00, 0xff}},
    {1700000001000001000ull, {0x80, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}},
};

const Address server{0x0A000001, 7777}, client{0x0A000002, 50000};

std::vector<Frame> framesOf(Bytes (*wrap)(const Bytes &)) {
    std::vector<Frame> frames;
    for (const auto &[time, payload] : sessionDatagrams)
        frames.push_back({time, wrap(ipv4Udp(server, client, payload).front()), 0, 0});
    return frames;
}

Bytes bareIp(const Bytes &ip) { return ip; }
Bytes plainEthernet(const Bytes &ip) { return ethernet(ip); }

void expectSession(const Read &r, const char *what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ(r.end, ContainerReader::Next::End) << r.error;
    ASSERT_EQ(r.datagrams.size(), sessionDatagrams.size());
    for (size_t i = 0; i < r.datagrams.size(); i++) {
        EXPECT_EQ(r.datagrams[i].record, i + 1);
        EXPECT_EQ(r.datagrams[i].timeNs, sessionDatagrams[i].first);
        EXPECT_EQ(r.datagrams[i].payload, sessionDatagrams[i].second);
        EXPECT_EQ(r.datagrams[i].from, "10.0.0.1:7777");
        EXPECT_EQ(r.datagrams[i].to, "10.0.0.2:50000");
    }
}

} // namespace

TEST(CaptureContainer, FilesWrittenByWiresharksToolsReadAsTheirDatagrams) {
    expectSession(readPath("session.pcap"), "pcap, microseconds");
    expectSession(readPath("session-ns.pcap"), "pcap, nanoseconds");
    expectSession(readPath("session.pcapng"), "pcapng");
    expectSession(readPath("session-two.pcapng"), "pcapng, Ethernet in ns and raw IP in us");
}

TEST(CaptureContainer, EitherByteOrderAndEveryTimeResolution) {
    expectSession(readBytes(pcap(framesOf(plainEthernet), linkEthernet, false, true)),
                  "pcap, big-endian");
    expectSession(readBytes(pcap(framesOf(bareIp), linkRaw, true, true)),
                  "pcap, big-endian nanoseconds, raw IP");
    expectSession(readBytes(pcapng(framesOf(bareIp), {{linkIpv4, 9}}, true)),
                  "pcapng, big-endian, IPv4 link type");
    // Binary resolution: 2^-30 s per unit is finer than a nanosecond, so
    // every stamp comes back within one nanosecond (cut, never rounded up).
    Read binary = readBytes(pcapng(framesOf(plainEthernet), {{linkEthernet, 0x80 | 30}}));
    ASSERT_EQ(binary.datagrams.size(), 4u);
    for (size_t i = 0; i < 4; i++)
        EXPECT_LE(sessionDatagrams[i].first - binary.datagrams[i].timeNs, 1u);
    // Milliseconds (10^-3): the stamps come back cut to whole milliseconds.
    Read milli = readBytes(pcapng(framesOf(plainEthernet), {{linkEthernet, 3}}));
    ASSERT_EQ(milli.datagrams.size(), 4u);
    EXPECT_EQ(milli.datagrams[2].timeNs, 1700000000062000000ull);
}

TEST(CaptureContainer, PcapngInterfacesKeepTheirOwnLinkTypesAndSimpleBlocksTheLastTime) {
    std::vector<Frame> frames = framesOf(plainEthernet);
    frames[1].interface = 1;
    frames[1].data = linuxCooked(ipv4Udp(server, client, sessionDatagrams[1].second).front(), 2);
    frames[3].interface = 2;
    frames[3].data = loopback(ipv4Udp(server, client, sessionDatagrams[3].second).front(), false);
    expectSession(readBytes(pcapng(frames, {{linkEthernet, 6}, {linkLinuxSll2, 9}, {linkNull, 6}})),
                  "three interfaces");
    // Simple packet blocks have no time: each takes the last one seen (none
    // yet: zero).
    Read simple = readBytes(pcapng(framesOf(plainEthernet), {{linkEthernet, 6}}, false, true));
    ASSERT_EQ(simple.datagrams.size(), 4u);
    EXPECT_EQ(simple.datagrams[3].timeNs, 0u);
    EXPECT_EQ(simple.datagrams[3].payload, sessionDatagrams[3].second);
}

TEST(CaptureContainer, LinkLayersAndWhatIsNotUdpOverIpv4) {
    Bytes ip = ipv4Udp(server, client, {1, 2, 3}).front();
    std::vector<Frame> frames = {
        {1, ethernet(ip, 2), 0, 0},     // two 802.1Q tags
        {2, linuxCooked(ip, 1), 1, 0},  // cooked v1
        {3, loopback(ip, true), 2, 0},  // loopback, family in big-endian
        {4, loopback(ip, false), 2, 0}, // and little-endian
        {5, ip, 3, 0},                  // an unknown link type
    };
    Bytes tcp = ip;
    tcp[9] = 6;
    frames.push_back({6, ethernet(tcp), 0, 0});
    Bytes v6 = ip;
    v6[0] = 0x60;
    frames.push_back({7, v6, 4, 0}); // raw IP, version 6
    Bytes arp = ethernet(ip);
    arp[12] = 0x08;
    arp[13] = 0x06;
    frames.push_back({8, arp, 0, 0});
    Bytes badUdp = ip;
    badUdp[20 + 5] = 200; // a UDP length past the packet
    frames.push_back({9, ethernet(badUdp), 0, 0});
    Read r = readBytes(pcapng(
        frames, {{linkEthernet, 9}, {linkLinuxSll, 9}, {linkNull, 9}, {147, 9}, {linkRaw, 9}}));
    ASSERT_EQ(r.datagrams.size(), 4u);
    for (const Seen &s : r.datagrams)
        EXPECT_EQ(s.payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(r.report.tally(Skip::LinkType).firstRecord, 5u);
    EXPECT_EQ(r.report.tally(Skip::NotUdp).firstRecord, 6u);
    EXPECT_EQ(r.report.tally(Skip::NotIPv4).count, 2u);
    EXPECT_EQ(r.report.tally(Skip::NotIPv4).firstRecord, 7u);
    EXPECT_EQ(r.report.tally(Skip::BadHeader).firstRecord, 9u);
}

TEST(CaptureContainer, Ipv4FragmentsAreJoinedInAnyOrderAndLostOnesCounted) {
    Bytes payload(1000);
    for (size_t i = 0; i < payload.size(); i++)
        payload[i] = static_cast<unsigned char>(i);
    std::vector<Bytes> pieces = ipv4Udp(server, client, payload, 77, 400);
    ASSERT_EQ(pieces.size(), 3u);
    std::vector<Bytes> lost = ipv4Udp(server, client, payload, 78, 400);
    std::vector<Frame> frames = {{1, ethernet(pieces[2]), 0, 0},
                                 {2, ethernet(lost[0]), 0, 0},
                                 {3, ethernet(pieces[0]), 0, 0},
                                 {4, ethernet(pieces[1]), 0, 0}};
    Read r = readBytes(pcap(frames, linkEthernet));
    ASSERT_EQ(r.datagrams.size(), 1u);
    EXPECT_EQ(r.datagrams[0].record, 4u);
    EXPECT_EQ(r.datagrams[0].payload, payload);
    EXPECT_EQ(r.report.tally(Skip::Fragments).count, 1u);
    EXPECT_EQ(r.report.tally(Skip::Fragments).firstRecord, 2u);
}

TEST(CaptureContainer, ACaptureThatKeptLessThanWasSentIsSaidSo) {
    Bytes ip = ipv4Udp(server, client, Bytes(100, 7)).front();
    Bytes frame = ethernet(ip);
    Frame cut{1, Bytes(frame.begin(), frame.begin() + 60), 0, static_cast<uint32_t>(frame.size())};
    Read r = readBytes(pcap({cut}, linkEthernet));
    EXPECT_TRUE(r.datagrams.empty());
    EXPECT_EQ(r.report.tally(Skip::SnapCut).count, 1u);
}

TEST(CaptureContainer, ATruncatedLastRecordIsReportedAndTheRestIsRead) {
    Read fixture = readPath("session-truncated.pcap");
    EXPECT_EQ(fixture.end, ContainerReader::Next::Truncated);
    EXPECT_EQ(fixture.datagrams.size(), 3u);
    EXPECT_EQ(fixture.report.truncatedRecord, 4u);
    // pcapng, cut inside the last block's header and inside its data.
    Bytes whole = pcapng(framesOf(plainEthernet), {{linkEthernet, 6}});
    for (size_t cut : {size_t{5}, size_t{40}}) {
        Read r = readBytes(Bytes(whole.begin(), whole.end() - static_cast<long>(cut)));
        EXPECT_EQ(r.end, ContainerReader::Next::Truncated) << cut;
        EXPECT_EQ(r.datagrams.size(), 3u);
        EXPECT_EQ(r.report.truncatedRecord, 4u);
    }
}

TEST(CaptureContainer, WhatIsNoCaptureOrBreaksMidwayStopsWithAReason) {
    EXPECT_FALSE(readBytes({}).started);
    Read text = readBytes({'{', '"', 't', 'i', 'c', 'k', '"', ':'});
    EXPECT_FALSE(text.started);
    EXPECT_EQ(text.error, "not a pcap or pcapng capture");
    EXPECT_TRUE(looksLikeCapture(pcapng({}, {}).data(), 4));
    EXPECT_FALSE(looksLikeCapture(reinterpret_cast<const unsigned char *>("{\"ti"), 4));

    // A block length that is no multiple of four, after two good records.
    Bytes file = pcapng(framesOf(plainEthernet), {{linkEthernet, 6}});
    Bytes good = pcapng({}, {{linkEthernet, 6}});
    std::vector<Frame> two = framesOf(plainEthernet);
    two.resize(2);
    size_t third = pcapng(two, {{linkEthernet, 6}}).size();
    file[third + 4] = 0x03;
    Read broken = readBytes(file);
    EXPECT_EQ(broken.end, ContainerReader::Next::Corrupt);
    EXPECT_EQ(broken.datagrams.size(), 2u);
    EXPECT_NE(broken.error.find("after record 2"), std::string::npos) << broken.error;
    // A packet naming an interface that was never described.
    std::vector<Frame> stray = framesOf(plainEthernet);
    stray[0].interface = 3;
    EXPECT_EQ(
        readBytes(
            pcapng(stray,
                   {{linkEthernet, 6}, {linkEthernet, 6}, {linkEthernet, 6}, {linkEthernet, 6}}))
            .datagrams.size(),
        4u);
    Read unnamed = readBytes(pcapng(stray, {{linkEthernet, 6}}));
    EXPECT_EQ(unnamed.end, ContainerReader::Next::Corrupt);
    EXPECT_TRUE(unnamed.datagrams.empty());
    // A pcap record claiming more than any record holds.
    Bytes huge = pcap(framesOf(plainEthernet), linkEthernet);
    huge[24 + 8 + 3] = 0x7F;
    EXPECT_EQ(readBytes(huge).end, ContainerReader::Next::Corrupt);
}
