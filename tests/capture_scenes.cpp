#include "capture_scenes.h"

#include <algorithm>

using namespace capwrite;

namespace scenes {

namespace {

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

// Made-up bytes, the same on every run.
struct Noise {
    uint32_t state;
    unsigned char next() {
        state = state * 1103515245u + 12345u;
        return static_cast<unsigned char>(state >> 16);
    }
    Bytes bytes(size_t n) {
        Bytes b(n);
        for (unsigned char &c : b)
            c = next();
        return b;
    }
};

void add(std::vector<Frame> &frames, uint64_t at, const Address &from, const Address &to,
         const Bytes &payload, uint16_t id) {
    for (Bytes &ip : ipv4Udp(from, to, payload, id))
        frames.push_back({at, ethernet(ip), 0, 0});
}

} // namespace

Payload join(uint16_t id, uint32_t rgba, const std::string &name) {
    Bytes p = joinParams(id, rgba, name);
    return rpc(137, p, static_cast<uint32_t>(p.size() * 8));
}

void Session::client(uint64_t at, size_t size) {
    Bytes d(size);
    for (unsigned char &c : d) {
        noise = noise * 1103515245u + 12345u;
        c = static_cast<unsigned char>(noise >> 16);
    }
    timeline.fromClient(start + at, d);
    clientNumber++;
}

std::vector<Message> Session::server(uint64_t at,
                                     const std::vector<std::pair<Payload, uint8_t>> &messages,
                                     bool ackClient, const std::vector<Message> &again) {
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

void Session::raw(uint64_t at, const Bytes &payload) { timeline.fromServer(start + at, payload); }

std::vector<Frame> example() {
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
             {{join(3, 0xFF8000FF, "Den_Petrov"), 9},
              {join(5, 0x3399FFFF, "Anna_Sokol"), 9},
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
    return s.timeline.frames;
}

// As the server bundles them: as many to a datagram as fit. Player 7 runs
// a sprint cheat for 2 s of every minute.
std::vector<Frame> syncSession(uint64_t packets, bool live) {
    Session s;
    s.client(0, 4);
    s.raw(1 * ms, {25, 0});
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
        uint64_t inSecond = at / (1000 * ms);
        for (int p = 0; p < players && sent < packets; p++, sent++) {
            // Player 7 cheats 2 s of every minute; for the live benchmark,
            // players 0 to 9 take turns, a second each in every ten.
            bool cheat = live ? p < 10 && (inSecond + static_cast<uint64_t>(p)) % 10 == 0
                              : p == 7 && inSecond % 60 < 2;
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
    return s.timeline.frames;
}

std::vector<Frame> serverWithClients(unsigned clients, unsigned seconds) {
    std::vector<Frame> frames;
    Noise noise{7};
    const Address server = serverAddress;
    std::vector<Sender> senders(clients);
    auto clientOf = [](unsigned c) {
        return Address{0x0A000000u + 0x100u * (c / 200) + c % 200 + 2, // 10.0.x.y
                       static_cast<uint16_t>(50000 + c % 1000)};
    };
    uint16_t id = 1;
    // The players connect 2 ms apart.
    for (unsigned c = 0; c < clients; c++) {
        uint64_t at = start + c * 2 * ms;
        add(frames, at, clientOf(c), server, noise.bytes(4), id++);
        add(frames, at + ms / 2, server, clientOf(c), {25, 0}, id++);
    }
    uint64_t begin = start + clients * 2 * ms + 10 * ms;
    for (uint64_t tick = 0; tick < uint64_t{seconds} * 10; tick++) {
        for (unsigned c = 0; c < clients; c++) {
            uint64_t at = begin + tick * 100 * ms + c * 50000; // 50 us apart
            std::vector<Message> sync;
            for (uint16_t p = 0; p < 3; p++)
                sync.push_back(
                    senders[c]
                        .send(footSync(static_cast<uint16_t>((c + p) % 500), 0, 0.05f), 7, 1)
                        .front());
            add(frames, at, server, clientOf(c), datagram(sync), id++);
            add(frames, at + 20000, clientOf(c), server, noise.bytes(30), id++);
        }
    }
    return frames;
}

std::vector<Frame> voice(uint64_t from, uint64_t to, uint32_t seed) {
    std::vector<Frame> frames;
    Noise noise{seed};
    const Address a{0x0A000005u, 40000}, b{0x0A000006u, 40002}; // 10.0.0.5, 10.0.0.6
    uint16_t id = 1;
    uint32_t sequence = 0;
    for (uint64_t at = from; at < to; at += 20 * ms, sequence++) {
        for (int side = 0; side < 2; side++) {
            // A real-time media header (version 2, sequence, time stamp,
            // source), then the coded sound.
            Bytes d = {0x80, 0x00, static_cast<unsigned char>(sequence >> 8),
                       static_cast<unsigned char>(sequence)};
            for (int i = 0; i < 8; i++)
                d.push_back(noise.next());
            Bytes sound = noise.bytes(160);
            d.insert(d.end(), sound.begin(), sound.end());
            add(frames, at + static_cast<uint64_t>(side) * 3 * ms, side ? b : a, side ? a : b, d,
                id++);
        }
    }
    return frames;
}

std::vector<Frame> dnsAnswers(uint64_t from, uint64_t to, uint64_t every) {
    std::vector<Frame> frames;
    Noise noise{3};
    const Address resolver{0xC0A80A01u, 53}; // 192.168.10.1
    uint16_t id = 1, port = 33000;
    for (uint64_t at = from; at < to; at += every, port++) {
        Address asker{clientAddress.ip, port};
        Bytes query = {noise.next(), noise.next(), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
        for (std::string label : {"example", "com"}) {
            query.push_back(static_cast<unsigned char>(label.size()));
            query.insert(query.end(), label.begin(), label.end());
        }
        query.insert(query.end(), {0, 0, 1, 0, 1});
        Bytes answer = query;
        answer[2] = 0x81;
        answer[3] = 0x80;
        answer[7] = 1;
        answer.insert(answer.end(), {0xC0, 0x0C, 0, 1, 0, 1, 0, 0, 0x0E, 0x10, 0, 4});
        Bytes address = noise.bytes(4);
        answer.insert(answer.end(), address.begin(), address.end());
        add(frames, at, asker, resolver, query, id++);
        add(frames, at + 15 * ms, resolver, asker, answer, id++);
    }
    return frames;
}

std::vector<Frame> flood(uint64_t from, uint64_t to, size_t flows) {
    std::vector<Frame> frames;
    Noise noise{5};
    Sender sender;
    for (size_t i = 0; i < flows; i++) {
        uint64_t at = from + (to - from) / flows * i;
        Address source{0x0B000000u + static_cast<uint32_t>(i / 60000) * 0x10000u +
                           static_cast<uint32_t>(i % 60000),
                       static_cast<uint16_t>(1024 + i % 60000)};
        Address target{clientAddress.ip, static_cast<uint16_t>(20000 + i % 40000)};
        Bytes d;
        if (i % 5 == 0)
            d = {25, 0}; // a connection reply out of nowhere
        else if (i % 7 == 0)
            d = {26, noise.next(), noise.next()}; // a cookie request
        else if (i % 3 == 0)
            d = datagram(sender.send(whole(noise.bytes(20)), 6, 0)); // a message block
        else
            d = noise.bytes(8 + noise.next() % 40);
        add(frames, at, source, target, d, static_cast<uint16_t>(i));
    }
    return frames;
}

std::vector<Frame> oneWay(uint64_t from, uint64_t to, unsigned flows, unsigned perSecond) {
    std::vector<Frame> frames;
    Noise noise{9};
    std::vector<Sender> senders(flows);
    uint64_t every = second / perSecond;
    uint16_t id = 1;
    for (uint64_t at = from; at < to; at += every) {
        for (unsigned f = 0; f < flows; f++) {
            Address source{0x0C000001u + f, 7777};
            Address target{clientAddress.ip, static_cast<uint16_t>(41000 + f)};
            Bytes d = datagram(senders[f].send(whole(noise.bytes(30)), 6, 0));
            add(frames, at + f * 100000, source, target, d, id++);
        }
    }
    return frames;
}

Mixed mix(const std::vector<Frame> &game, const std::vector<std::vector<Frame>> &others) {
    // The others in time order, then laid in before each game record that
    // comes later; the game's own order is kept as it is.
    std::vector<const Frame *> other;
    for (const std::vector<Frame> &list : others)
        for (const Frame &f : list)
            other.push_back(&f);
    std::stable_sort(other.begin(), other.end(),
                     [](const Frame *a, const Frame *b) { return a->timeNs < b->timeNs; });
    Mixed m;
    size_t next = 0;
    for (size_t i = 0; i < game.size(); i++) {
        for (; next < other.size() && other[next]->timeNs < game[i].timeNs; next++) {
            m.frames.push_back(*other[next]);
            m.gameRecord.push_back(0);
        }
        m.frames.push_back(game[i]);
        m.gameRecord.push_back(i + 1);
    }
    for (; next < other.size(); next++) {
        m.frames.push_back(*other[next]);
        m.gameRecord.push_back(0);
    }
    return m;
}

} // namespace scenes
