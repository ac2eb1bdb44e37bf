// Writes captures of generated game sessions with the tests' capture
// writer:
//   capture-gen example FILE      a short session: the handshake, players
//                                 joining, spectating, a cheater warned
//   capture-gen markup FILE       the same, its players named with markup
//   capture-gen bench N FILE      N player-sync packets of 50 players
//   capture-gen live N FILE       the same with player 7 spectated and ten
//                                 players cheating by turns, for the live
//                                 latency benchmark
//   capture-gen seeds DIR         small captures for the fuzz target
#include "capture_writer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace capwrite;

namespace {

const uint64_t ms = 1000000;
const uint64_t start = 1765200000000000000ull; // 2025-12-08, 13:20 UTC

const uint16_t keySprint = 0x08, keyJump = 0x20, keyFire = 0x04;

Bytes joinParams(uint16_t id, uint32_t rgba, const std::string &name) {
    Bits b;
    b.u16(id);
    b.u32(rgba);
    b.u8(0);
    b.u8(static_cast<uint32_t>(name.size()));
    for (char c : name)
        b.u8(static_cast<unsigned char>(c));
    return b.bytes();
}
Payload join(uint16_t id, uint32_t rgba, const std::string &name) {
    Bytes p = joinParams(id, rgba, name);
    return rpc(137, p, static_cast<uint32_t>(p.size() * 8));
}

// The server's side of the connection in a timeline: its counters, the
// client's messages it still has to acknowledge, and the client's own
// scrambled datagrams (made-up bytes: nothing reads them but the check
// which side is which).
struct Session {
    Timeline timeline;
    Sender sender;
    uint16_t clientNumber = 0;
    unsigned noise = 1;

    void client(uint64_t at, size_t size) {
        Bytes d(size);
        for (unsigned char &c : d) {
            noise = noise * 1103515245u + 12345u;
            c = static_cast<unsigned char>(noise >> 16);
        }
        timeline.fromClient(start + at, d);
        clientNumber++;
    }
    // Sends `messages` after the resent `again`; returns what was sent new.
    std::vector<Message> server(uint64_t at,
                                const std::vector<std::pair<Payload, uint8_t>> &messages,
                                bool ackClient = false, const std::vector<Message> &again = {}) {
        std::vector<Message> all = again;
        for (const auto &[payload, reliability] : messages) {
            uint8_t channel = reliability == 7 ? 1 : reliability == 9 ? 2 : 0;
            for (Message &m : sender.send(payload, reliability, channel))
                all.push_back(m);
        }
        std::vector<std::pair<uint16_t, uint16_t>> acks;
        if (ackClient && clientNumber > 0)
            acks.push_back({0, static_cast<uint16_t>(clientNumber - 1)});
        timeline.fromServer(start + at, datagram(all, acks));
        return std::vector<Message>(all.begin() + static_cast<long>(again.size()), all.end());
    }
    void raw(uint64_t at, const Bytes &payload) { timeline.fromServer(start + at, payload); }
};

// The example session; `den` and `anna` name its two players (Windows-1251).
Bytes example(const std::string &den = "Den_Petrov", const std::string &anna = "Anna_Sokol") {
    Session s;
    // Connecting: the client's request, the cookie, the reply.
    s.client(0, 4);
    s.raw(20 * ms, {26, 0x3A, 0x6B});
    s.client(40 * ms, 4);
    s.raw(60 * ms, {25, 0});
    s.client(80 * ms, 40);
    // Accepted: the client's address, its index, a token (kept internal).
    s.server(100 * ms,
             {{whole({34, 192, 168, 10, 20, 0x22, 0xC8, 0, 0, 0x11, 0x22, 0x33, 0x44}), 8}}, true);
    s.client(120 * ms, 60);
    // The players already there: Den (id 3, orange) and Anna (id 5, blue);
    // the client's own colour.
    s.server(200 * ms,
             {{join(3, 0xFF8000FF, den), 9},
              {join(5, 0x3399FFFF, anna), 9},
              {whole({6, 0x10, 0x27, 0, 0}), 6}},
             true);
    Bits own;
    own.u16(0);
    own.u32(0xFFFFFFFF);
    s.server(220 * ms, {{rpc(72, own.bytes(), own.size()), 9}});
    // Each player's foot sync every 100 ms from 300 ms on. Den walks; Anna
    // runs with SPRINT held at a speed the game does not allow from 1.0 s on.
    std::vector<Message> spectate;
    for (uint64_t t = 300; t <= 4000; t += 100) {
        bool cheating = t >= 1000 && t <= 2400;
        uint16_t denKeys = t % 1000 == 500 ? keyJump : 0;
        uint16_t annaKeys = cheating ? keySprint : t == 2600 ? keyFire : 0;
        float annaSpeed = cheating ? 0.21f : 0.05f;
        std::vector<std::pair<Payload, uint8_t>> m = {{footSync(3, denKeys, 0.04f), 7},
                                                      {footSync(5, annaKeys, annaSpeed), 7}};
        // The admin starts spectating Anna at 1.5 s and stops at 3.5 s; Den
        // leaves at 3.8 s.
        if (t == 1500)
            m.push_back({rpc(126, {5, 0, 3}, 24), 9});
        if (t == 3500)
            m.push_back({rpc(124, {0, 0, 0, 0}, 32), 9});
        if (t == 3800) {
            Bits quit;
            quit.u16(3);
            quit.u8(1);
            m.push_back({rpc(138, quit.bytes(), quit.size()), 9});
        }
        // The spectate order is resent once (its acknowledgement came
        // late): the client drops the copy.
        std::vector<Message> sent =
            s.server(t * ms, m, t % 500 == 0, t == 1600 ? spectate : std::vector<Message>{});
        if (t == 1500)
            spectate = {sent.back()};
        if (t % 500 == 0)
            s.client(t * ms + 30 * ms, 24);
    }
    return pcapng(s.timeline.frames, {{1, 6}});
}

// `packets` foot-sync packets of 50 players, each sending 30 a second, as
// the server bundles them: as many to a datagram as fit. Player 7 runs a
// sprint cheat for 2 s of every minute.
Bytes bench(uint64_t packets, bool live) {
    Session s;
    s.raw(0, {25, 0});
    s.server(10 * ms, {{join(7, 0xFF8000FF, "Sprinter"), 9}});
    // For the live benchmark: player 7 spectated, so that the key column is
    // drawn every frame, and a warning about somebody every second or so.
    if (live)
        s.server(20 * ms, {{rpc(126, {7, 0, 3}, 24), 9}});
    const int players = 50;
    // A player's packet every 1/30 s; the server sends 1500 a second, in
    // datagrams of up to 548 bytes.
    std::vector<Message> batch;
    size_t bytes = 0;
    uint64_t sent = 0;
    std::vector<Payload> normal, running;
    for (int p = 0; p < players; p++) {
        normal.push_back(footSync(static_cast<uint16_t>(p), 0, 0.05f));
        running.push_back(footSync(static_cast<uint16_t>(p), keySprint, 0.2f));
    }
    for (uint64_t tick = 0; sent < packets; tick++) {
        uint64_t at = 100 * ms + tick * 1000 * ms / 30;
        uint64_t second = at / (1000 * ms);
        for (int p = 0; p < players && sent < packets; p++, sent++) {
            // Player 7 cheats 2 s of every minute; for the live benchmark,
            // players 0 to 9 take turns, a second each in every ten.
            bool cheat = live ? p < 10 && (second + static_cast<uint64_t>(p)) % 10 == 0
                              : p == 7 && second % 60 < 2;
            const Payload &sync =
                cheat ? running[static_cast<size_t>(p)] : normal[static_cast<size_t>(p)];
            Message m = s.sender.send(sync, 7, 1).front();
            size_t size = 6 + (sync.bits + 7) / 8;
            if (bytes + size > 548) {
                s.timeline.fromServer(start + at, datagram(batch));
                batch.clear();
                bytes = 0;
            }
            batch.push_back(m);
            bytes += size;
        }
        if (!batch.empty()) {
            s.timeline.fromServer(start + at, datagram(batch));
            batch.clear();
            bytes = 0;
        }
    }
    return pcap(s.timeline.frames, 1);
}

// Small captures, each a few records, that lead the fuzz target into every
// stage: the handshake, scrambling, splits, fragments, a late start.
bool seeds(const std::string &dir) {
    auto write = [&dir](const char *name, const Bytes &file) {
        return writeFile(dir + "/" + name, file);
    };
    bool ok = true;
    {
        Session s;
        s.raw(0, {25, 0});
        s.server(10 * ms, {{join(5, 0x3399FFFF, "Ann"), 9}, {rpc(126, {5, 0, 3}, 24), 9}});
        s.server(30 * ms, {{footSync(5, keySprint, 0.2f), 7}}, false);
        s.client(40 * ms, 6);
        ok = ok && write("handshake.pcap", pcap(s.timeline.frames, 1));
        ok = ok && write("handshake.pcapng", pcapng(s.timeline.frames, {{1, 9}}));
    }
    {
        Session s; // scrambled after the key
        std::array<unsigned char, 4> key = {0x11, 0x9C, 0x3E, 0xA7};
        s.raw(0, keyDatagram(key));
        s.raw(1 * ms, scramble({25, 0}, key));
        Sender &out = s.sender;
        s.raw(60 * ms, scramble(datagram(out.send(rpc(126, {2, 0, 3}, 24), 9, 2), {{0, 3}}), key));
        ok = ok && write("scrambled.pcap", pcap(s.timeline.frames, 1, true, true));
    }
    {
        Session s; // a split message and a resend, no handshake
        s.sender.nextNumber = 65530;
        Payload big = whole(Bytes(120, 0x5A));
        std::vector<Message> parts = s.sender.send(big, 9, 2, 100); // a small MTU: 3 parts
        s.timeline.fromServer(start, datagram({parts[1]}));
        s.timeline.fromServer(start + 5 * ms, datagram({parts[0], parts[1]}, {{1, 1}}));
        s.client(6 * ms, 5);
        ok = ok && write("split-late.pcap", pcap(s.timeline.frames, 1));
    }
    {
        // IPv4 fragments over Linux cooked capture.
        std::vector<Frame> frames;
        frames.push_back(
            {start, linuxCooked(ipv4Udp(serverAddress, clientAddress, {25, 0}).front(), 2)});
        Sender out;
        Bytes d = datagram(out.send(rpc(126, {1, 0, 3}, 24), 9, 2));
        d.resize(40, 0);
        for (Bytes &ip : ipv4Udp(serverAddress, clientAddress, d, 9, 16))
            frames.push_back({start + ms, linuxCooked(ip, 2)});
        ok = ok && write("fragments.pcapng", pcapng(frames, {{276, 6}}));
    }
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "example" && argc == 3)
        return writeFile(argv[2], example()) ? 0 : 1;
    // The example with players named with markup, for a page that must
    // show names as text: "Ден" (Den) is Windows-1251.
    if (what == "markup" && argc == 3)
        return writeFile(argv[2], example("\"><svg onload=window.__ran=2>\xC4\xE5\xED & co",
                                          "</script><img src=x onerror=window.__ran=1>"))
                   ? 0
                   : 1;
    if ((what == "bench" || what == "live") && argc == 4)
        return writeFile(argv[3], bench(std::strtoull(argv[2], nullptr, 10), what == "live")) ? 0
                                                                                              : 1;
    if (what == "seeds" && argc == 3)
        return seeds(argv[2]) ? 0 : 1;
    (void)std::fprintf(
        stderr,
        "usage: capture-gen example FILE | markup FILE | bench N FILE | live N FILE | seeds DIR\n");
    return 2;
}
