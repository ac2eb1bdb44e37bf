#include "packet_mix.h"

#include "host.h"

#include <cmath>

namespace bench {

namespace {

const int players = 64;
const int packetsPerPlayer = 64;
// Players from here on jump now and then; the detection never calls a
// player suspect within 1250 ms of a jump, so they are never suspect.
const int firstJumper = 48;

const uint16_t keySprint = 0x08;
const uint16_t keyJump = 0x20;

// A small generator of our own, so that the mix is the same on every
// machine and with every standard library.
struct Random {
    uint64_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    double unit() { return next() / 4294967296.0; } // [0, 1)
    bool chance(double p) { return unit() < p; }
    double between(double low, double high) { return low + (high - low) * unit(); }
    uint16_t word() { return static_cast<uint16_t>(next()); }
};

// A direction mostly along the ground, as players on foot move.
void setDirection(host::SyncPacket &s, Random &random) {
    const double pi = 3.14159265358979323846;
    double heading = random.between(0, 2 * pi);
    double climb = random.between(-0.2, 0.2);
    s.velocityDirections[0] = host::unitWord(std::cos(heading) * std::cos(climb));
    s.velocityDirections[1] = host::unitWord(std::sin(heading) * std::cos(climb));
    s.velocityDirections[2] = host::unitWord(std::sin(climb));
}

// Speed is the velocity's length times 100; the detection's threshold is 14.9.
void setSpeed(host::SyncPacket &s, Random &random, double low, double high) {
    s.velocityLength = static_cast<float>(random.between(low, high) / 100.0);
    setDirection(s, random);
}

host::SyncPacket commonFields(uint16_t player, Random &random) {
    host::SyncPacket s;
    s.playerId = player;
    for (float &p : s.position)
        p = static_cast<float>(random.between(-3000, 3000));
    for (bool &sign : s.quaternionSigns)
        sign = random.chance(0.5);
    for (uint16_t &m : s.quaternionMagnitudes)
        m = static_cast<uint16_t>(random.next() % 46341); // squares stay below 1/2
    s.healthArmour = static_cast<uint8_t>(((1 + random.next() % 15) << 4) | (random.next() % 16));
    s.weapon = static_cast<uint8_t>(random.next() % 35);
    return s;
}

host::SyncPacket suspectPacket(uint16_t player, Random &random) {
    host::SyncPacket s = commonFields(player, random);
    s.keys = static_cast<uint16_t>((random.word() & ~keyJump) | keySprint);
    setSpeed(s, random, 15.5, 20.0);
    if (random.chance(0.5))
        s.leftRight = random.word();
    s.upDown = 0xFF80; // running forward
    switch (random.next() % 3) {
    case 0:
        break; // no animation block
    case 1:
        s.animation = host::SyncPacket::Animation{1228, 0x8002}; // the sprint animation
        break;
    default:
        s.animation = host::SyncPacket::Animation{0, 0};
    }
    return s;
}

// A packet that fails at least one of the detection's tests, chosen at random.
host::SyncPacket innocentPacket(uint16_t player, bool jumper, Random &random) {
    host::SyncPacket s = commonFields(player, random);
    s.keys = static_cast<uint16_t>(random.word() & ~keyJump);
    if (jumper && random.chance(0.2))
        s.keys |= keyJump;
    bool moving = random.chance(0.75);
    if (moving)
        setSpeed(s, random, 1.0, 14.0);
    if (moving && random.chance(0.4))
        s.leftRight = random.word();
    if (moving && random.chance(0.6))
        s.upDown = random.word();
    switch (random.next() % 4) {
    case 0:
        break;
    case 1:
        s.animation = host::SyncPacket::Animation{1189, 0x8001}; // standing idle
        break;
    case 2:
        s.animation = host::SyncPacket::Animation{1231, 0x8002}; // walking
        break;
    default:
        s.animation = host::SyncPacket::Animation{0, 0};
    }
    // Fast with SPRINT held, but in an animation the detection lets pass.
    if (moving && !jumper && random.chance(0.2)) {
        s.keys |= keySprint;
        setSpeed(s, random, 15.5, 20.0);
        s.animation = host::SyncPacket::Animation{1231, 0x8002};
    }
    if (random.chance(0.05))
        s.surf = host::SyncPacket::Surf{static_cast<uint16_t>(random.next() % 2000),
                                        {1.5f, -0.25f, 0.75f}};
    return s;
}

void add(PacketMix &mix, const host::SyncPacket &s, bool suspect) {
    mix.storage.push_back(host::encodeSync(s));
    mix.withLeftRight += s.leftRight.has_value();
    mix.withUpDown += s.upDown.has_value();
    mix.moving += s.velocityLength != 0.0f;
    mix.surfing += s.surf.has_value();
    mix.withAnimation += s.animation.has_value();
    mix.jumping += (s.keys & keyJump) != 0;
    mix.spectated += s.playerId == spectatedPlayer;
    mix.suspect += suspect;
}

void pointAtStorage(PacketMix &mix) {
    for (const host::Packet &p : mix.storage)
        mix.packets.push_back(WirePacket{p.bytes.data(), p.bitCount, p.bytes[0]});
}

} // namespace

PacketMix syncPacketMix() {
    PacketMix mix;
    Random random{0x6E6F727669ull};
    for (int k = 0; k < packetsPerPlayer; k++) {
        for (int p = 0; p < players; p++) {
            bool jumper = p >= firstJumper;
            // Every fourth packet of a player is innocent, so no run of
            // suspect packets reaches the five that post a warning, also
            // where the mix starts over (packetsPerPlayer is a multiple of 4).
            bool suspect = !jumper && k % 4 != 3 && random.chance(0.4);
            uint16_t player = static_cast<uint16_t>(p);
            add(mix,
                suspect ? suspectPacket(player, random) : innocentPacket(player, jumper, random),
                suspect);
        }
    }
    pointAtStorage(mix);
    return mix;
}

PacketMix otherPacketMix() {
    // Identifier and length in bytes of the other sync packets.
    const struct {
        uint8_t id;
        size_t bytes;
    } kinds[] = {{200, 63}, {203, 13}, {206, 41}, {209, 67}, {211, 25}};
    PacketMix mix;
    Random random{0x6F74686572ull};
    for (int i = 0; i < 256; i++) {
        const auto &kind = kinds[random.next() % 5];
        host::Packet p;
        p.bytes.push_back(kind.id);
        for (size_t b = 1; b < kind.bytes; b++)
            p.bytes.push_back(static_cast<unsigned char>(random.next()));
        p.bitCount = static_cast<uint32_t>(p.bytes.size() * 8);
        mix.storage.push_back(std::move(p));
    }
    pointAtStorage(mix);
    return mix;
}

std::vector<host::Packet> suspectRun(uint16_t player, int count) {
    Random random{0x72756Eull};
    std::vector<host::Packet> run;
    for (int i = 0; i < count; i++)
        run.push_back(host::encodeSync(suspectPacket(player, random)));
    return run;
}

bool deliver(const WirePacket &packet) {
    return host::deliverPacket(packet.data, packet.bitCount, packet.id);
}

} // namespace bench
