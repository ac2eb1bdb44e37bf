// The floor of the player-sync packet hook: the least work that any decoder
// of packet 207 must do. It reads every field of the packet through the same
// host bit stream, in wire order, with the same calls the plugin makes
// (one ReadBits per field, one Read per presence bit), and decides nothing
// but what the format itself decides: which optional blocks follow.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>

namespace bench {

// The fields as they stand on the wire, nothing converted.
struct RawSyncFields {
    uint16_t playerId;
    bool hasLeftRight, hasUpDown;
    uint16_t leftRight, upDown, keys;
    float position[3];
    bool quaternionSigns[4];
    uint16_t quaternionMagnitudes[3];
    uint8_t healthArmour, weapon, specialAction;
    float velocityLength;
    uint16_t velocityDirections[3];
    bool surfing;
    uint16_t surfVehicleId;
    float surfOffset[3];
    bool hasAnimation;
    uint16_t animationId, animationFlags;
};

// Reads the fields of one packet from a stream whose read position is at
// its first bit. Returns false when the stream ends before the packet does.
bool readRawSyncFields(BitStream &stream, RawSyncFields &fields);

// An incoming-packet hook that reads packet 207's fields and nothing else;
// other packets pass untouched. Always true, as the plugin's hook.
bool CALLBACK readSyncFields(stRakNetHookParams *params);

} // namespace bench
