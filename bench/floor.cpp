#include "floor.h"

namespace bench {

namespace {

template <typename T> bool readField(BitStream &stream, T &field) {
    return stream.ReadBits(reinterpret_cast<unsigned char *>(&field), sizeof field * 8, true);
}

} // namespace

// Only what a later branch looks at is set before its read, so that a
// stream that ends early never leaves a decision to stale memory.
bool readRawSyncFields(BitStream &stream, RawSyncFields &f) {
    f.hasLeftRight = f.hasUpDown = f.surfing = f.hasAnimation = false;
    f.velocityLength = 0.0f;
    stream.IgnoreBits(8); // the identifier
    readField(stream, f.playerId);
    stream.Read(f.hasLeftRight);
    if (f.hasLeftRight)
        readField(stream, f.leftRight);
    stream.Read(f.hasUpDown);
    if (f.hasUpDown)
        readField(stream, f.upDown);
    readField(stream, f.keys);
    stream.ReadBits(reinterpret_cast<unsigned char *>(f.position), 96, true);
    for (bool &sign : f.quaternionSigns)
        stream.Read(sign);
    for (uint16_t &magnitude : f.quaternionMagnitudes)
        readField(stream, magnitude);
    readField(stream, f.healthArmour);
    readField(stream, f.weapon);
    readField(stream, f.specialAction);
    readField(stream, f.velocityLength);
    // A zero length (either sign) carries no directions.
    if (f.velocityLength != 0.0f)
        for (uint16_t &direction : f.velocityDirections)
            readField(stream, direction);
    stream.Read(f.surfing);
    if (f.surfing) {
        readField(stream, f.surfVehicleId);
        stream.ReadBits(reinterpret_cast<unsigned char *>(f.surfOffset), 96, true);
    }
    stream.Read(f.hasAnimation);
    if (!f.hasAnimation)
        return true;
    readField(stream, f.animationId);
    return readField(stream, f.animationFlags);
}

bool CALLBACK readSyncFields(stRakNetHookParams *params) {
    if (params->packetId != 207)
        return true;
    RawSyncFields fields;
    readRawSyncFields(*params->bitStream, fields);
    return true;
}

} // namespace bench
