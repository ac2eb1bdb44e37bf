// Writes captures of generated game sessions with the tests' capture
// writer:
//   capture-gen example FILE      a short session: the handshake, players
//                                 joining, spectating, a cheater warned
//   capture-gen bench N FILE      N player-sync packets of 50 players
//   capture-gen live N FILE       the same with player 7 spectated and ten
//                                 players cheating by turns, for the live
//                                 latency benchmark
//   capture-gen seeds DIR         small captures for the fuzz target
// and, for the memory benchmark, sessions among other traffic:
//   capture-gen joined SECONDS FILE  the example session joined SECONDS
//                                 into a voice call that goes on through it
//   capture-gen flood FLOWS FILE  FLOWS one-datagram flows in the 100 s
//                                 before the example session
//   capture-gen voice MINUTES N FILE  a voice call (50 datagrams a second
//                                 each way) for MINUTES before a session of
//                                 N sync packets and all through it
//   capture-gen server CLIENTS SECONDS FILE  a capture taken on a server:
//                                 CLIENTS players, SECONDS of play
#include "capture_scenes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace capwrite;
using namespace scenes;

namespace {

// Small captures, each a few records, that lead the fuzz target into every
// stage: the handshake, scrambling, splits, fragments, a late start.
bool seeds(const std::string &dir) {
    auto write = [&dir](const char *name, const Bytes &file) {
        return writeFile(dir + "/" + name, file);
    };
    bool ok = true;
    {
        Session s;
        s.client(0, 4);
        s.raw(1 * ms, {25, 0});
        s.server(10 * ms, {{join(5, 0x3399FFFF, "Ann"), 9}, {rpc(126, {5, 0, 3}, 24), 9}});
        s.server(30 * ms, {{footSync(5, keySprint, 0.2f), 7}}, false);
        s.client(40 * ms, 6);
        ok = ok && write("handshake.pcap", pcap(s.timeline.frames, 1));
        ok = ok && write("handshake.pcapng", pcapng(s.timeline.frames, {{1, 9}}));
    }
    {
        Session s; // scrambled after the key
        std::array<unsigned char, 4> key = {0x11, 0x9C, 0x3E, 0xA7};
        s.client(0, 4);
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
            {start, linuxCooked(ipv4Udp(clientAddress, serverAddress, {7, 1, 2, 3}).front(), 2)});
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

uint64_t number(const char *text) { return std::strtoull(text, nullptr, 10); }

// The last frame's time, for traffic laid over a session.
uint64_t endOf(const std::vector<Frame> &frames) {
    uint64_t end = 0;
    for (const Frame &f : frames)
        end = std::max(end, f.timeNs);
    return end;
}

} // namespace

int main(int argc, char **argv) {
    std::string what = argc > 1 ? argv[1] : "";
    auto write = [&](const Bytes &file) { return writeFile(argv[argc - 1], file) ? 0 : 1; };
    if (what == "example" && argc == 3)
        return write(pcapng(example(), {{1, 6}}));
    if ((what == "bench" || what == "live") && argc == 4)
        return write(pcap(syncSession(number(argv[2]), what == "live"), 1));
    if (what == "seeds" && argc == 3)
        return seeds(argv[2]) ? 0 : 1;
    if (what == "flood" && argc == 4)
        return write(
            pcap(mix(example(), {flood(start - 100 * second, start, number(argv[2]))}).frames, 1));
    if (what == "joined" && argc == 4) {
        std::vector<Frame> game = example();
        uint64_t before = number(argv[2]) * second;
        return write(pcap(mix(game, {voice(start - before, endOf(game))}).frames, 1));
    }
    if (what == "voice" && argc == 5) {
        std::vector<Frame> game = syncSession(number(argv[3]), false);
        uint64_t before = number(argv[2]) * 60 * second;
        return write(pcap(mix(game, {voice(start - before, endOf(game))}).frames, 1));
    }
    if (what == "server" && argc == 5)
        return write(pcap(serverWithClients(static_cast<unsigned>(number(argv[2])),
                                            static_cast<unsigned>(number(argv[3]))),
                          1));
    (void)std::fprintf(
        stderr, "usage: capture-gen example FILE | bench N FILE | live N FILE | seeds DIR\n"
                "       capture-gen joined SECONDS FILE | flood FLOWS FILE | voice MINUTES N FILE |"
                " server CLIENTS SECONDS FILE\n");
    return 2;
}
