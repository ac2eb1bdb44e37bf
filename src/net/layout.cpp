// The bit layout of the player sync packet (identifier 207). Every field
// wider than a bit is read straight into its storage, so it takes the bytes
// in stream order, lowest address first. No read is tested: whatever a short
// packet does not reach stays as the caller zeroed it.
#include "net/net.h"

template <typename T> static void readField(BitStream *stream, T &field) {
    stream->ReadBits(reinterpret_cast<unsigned char *>(&field), static_cast<int>(sizeof field * 8),
                     true);
}

// 15 stands for 100, 0 for 0, and n in between for 7n.
static uint8_t nibblePercent(unsigned nibble) {
    if (nibble == 15)
        return 100;
    return static_cast<uint8_t>(7 * nibble);
}

bool readPlayerSync(BitStream *stream, PlayerSyncData &sync, PlayerId &playerId) {
    readField(stream, playerId);
    if (playerId >= maxPlayers)
        return false;

    bool hasLeftRight = false;
    stream->Read(hasLeftRight);
    if (hasLeftRight)
        readField(stream, sync.leftRight);
    bool hasUpDown = false;
    stream->Read(hasUpDown);
    if (hasUpDown)
        readField(stream, sync.upDown);

    readField(stream, sync.keys);
    readField(stream, sync.position); // x, y, z as 96 bits
    readUnitQuaternion(stream, sync.quaternion[0], sync.quaternion[1], sync.quaternion[2],
                       sync.quaternion[3]);

    // Health in the high nibble, armour in the low one. Health 0 is a dead
    // or not yet spawned player, whose packet carries nothing to judge.
    uint8_t healthArmourByte = 0;
    readField(stream, healthArmourByte);
    sync.armour = nibblePercent(healthArmourByte & 0x0Fu);
    unsigned healthNibble = healthArmourByte >> 4;
    if (healthNibble == 0)
        return false;
    sync.health = nibblePercent(healthNibble);

    readField(stream, sync.weapon);
    readField(stream, sync.specialAction);
    readScaledVector(stream, sync.velocity[0], sync.velocity[1], sync.velocity[2]);

    // The vehicle id stands before the offset on the wire. Not surfing is
    // vehicle 0xFFFF; a packet that ends before the bit leaves it zero.
    bool surfing = false;
    if (stream->Read(surfing) && !surfing)
        sync.surfVehicleId = 0xFFFF;
    if (surfing) {
        readField(stream, sync.surfVehicleId);
        readField(stream, sync.surfOffset); // x, y, z as 96 bits
    }

    bool hasAnimation = false;
    stream->Read(hasAnimation);
    if (hasAnimation) {
        readField(stream, sync.animationId);
        readField(stream, sync.animationFlags);
    }
    return true;
}
