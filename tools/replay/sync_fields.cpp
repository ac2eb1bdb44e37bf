#include "sync_fields.h"

#include <cmath>

namespace replay {

namespace {

// round(v) = floor(v + 0.5), clamped to a 16-bit word. Below 1 the floor
// is 0 or clamped to it; from there on, dropping the fraction is the floor
// (and quicker than calling floor for millions of packets).
uint16_t roundedWord(double v) {
    double r = v + 0.5;
    if (!(r >= 1.0))
        return 0;
    if (r >= 65535.0)
        return 65535;
    return static_cast<uint16_t>(r);
}

int nibbleValue(int nibble) { return nibble == 15 ? 100 : 7 * nibble; }

uint8_t nearestNibble(int percent) {
    int best = 0;
    for (int n = 1; n < 16; n++)
        if (std::abs(nibbleValue(n) - percent) <= std::abs(nibbleValue(best) - percent))
            best = n;
    return static_cast<uint8_t>(best);
}

// Every percent's nibble, worked out once.
struct NibbleTable {
    uint8_t of[101];
    NibbleTable() {
        for (int p = 0; p <= 100; p++)
            of[p] = nearestNibble(p);
    }
};

} // namespace

uint8_t percentNibble(int percent) {
    static const NibbleTable table;
    return percent >= 0 && percent <= 100 ? table.of[percent] : nearestNibble(percent);
}

host::SyncPacket syncPacketOf(const Sync &f) {
    host::SyncPacket s;
    s.playerId = f.player;
    s.leftRight = f.leftRight;
    s.upDown = f.upDown;
    s.keys = f.keys;
    for (int i = 0; i < 3; i++)
        s.position[i] = f.position[i];

    // Four sign bits, -0.0 counting as negative; w itself is left for the
    // receiver to work out from the other three.
    for (int i = 0; i < 4; i++)
        s.quaternionSigns[i] = std::signbit(f.quaternion[i]);
    for (int i = 0; i < 3; i++)
        s.quaternionMagnitudes[i] = roundedWord(std::fabs(f.quaternion[i + 1]) * 65535.0);

    s.healthArmour = static_cast<uint8_t>(percentNibble(f.health) << 4 | percentNibble(f.armour));
    s.weapon = f.weapon;
    s.specialAction = f.specialAction;

    const double *v = f.velocity;
    double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    s.velocityLength = static_cast<float>(length);
    if (s.velocityLength != 0.0f)
        for (int i = 0; i < 3; i++)
            s.velocityDirections[i] = roundedWord((v[i] / length + 1.0) * 32767.5);

    if (f.surf) {
        host::SyncPacket::Surf surf{f.surf->vehicle, {}};
        for (int i = 0; i < 3; i++)
            surf.offset[i] = f.surf->offset[i];
        s.surf = surf;
    }
    if (f.animation)
        s.animation = host::SyncPacket::Animation{f.animation->id, f.animation->flags};
    return s;
}

} // namespace replay
