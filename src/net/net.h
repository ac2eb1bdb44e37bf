// Network observation: the incoming-packet and incoming-RPC hooks, the
// player-sync record they decode, and the sprint-hook detection.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>

// A player slot as the packets carry it.
typedef uint16_t PlayerId;
// Milliseconds of the system tick counter. Ages are `now - then` in this
// type, so they stay right across the counter's wrap.
typedef uint32_t TickMs;

// Player sync packets from ids at or above this are ignored.
const PlayerId maxPlayers = 1000;
// Entries of each per-player table; ids 1000 to 1003 are never touched.
const int playerTableSize = 1004;

// The player the local player spectates; -1 for none.
extern int16_t spectateTarget;

// When the player sync packet now being handled arrived.
extern TickMs lastPacketTick;

// One decoded player sync packet; lives for one call of the packet hook.
struct PlayerSyncData {
    uint16_t leftRight;
    uint16_t upDown;
    uint16_t keys;
    float position[3];
    float quaternion[4]; // w, x, y, z
    uint8_t health;
    uint8_t armour;
    uint8_t weapon;
    uint8_t specialAction;
    float velocity[3];
    float surfOffset[3];
    uint16_t surfVehicleId;
    uint16_t animationId;
    int16_t animationFlags;
};

// Key bits of `PlayerSyncData::keys` that the detection looks at.
const uint16_t keyJump = 0x20;
const uint16_t keySprint = 0x08;

// Per-player tables, indexed by player id.
extern TickMs lastSyncTick[playerTableSize];  // previous decoded packet
extern TickMs lastJumpTick[playerTableSize];  // latest decoded packet with JUMP held
extern int32_t suspectCount[playerTableSize]; // suspect packets in a row
extern TickMs lastWarnTick[playerTableSize];  // latest warning line posted

// Field codecs of the player sync packet. Each returns false, leaving its
// outputs unchanged, when the stream ends too early.
bool readUnitFloat16(BitStream *stream, float &out);
bool readUnitQuaternion(BitStream *stream, float &w, float &x, float &y, float &z);
bool readScaledVector(BitStream *stream, float &x, float &y, float &z);

// Reads a player sync packet from just after its identifier byte into
// `sync` (zeroed by the caller). Returns false where the packet is to be
// dropped: a player id of 1000 or more, or a health nibble of 0.
bool readPlayerSync(BitStream *stream, PlayerSyncData &sync, PlayerId &playerId);

// Runs one decoded packet of player `player` through the sprint-hook
// heuristic; may post a warning.
void detectSprintHook(PlayerId player, const PlayerSyncData &sync, TickMs now);

// Posts the warning line about `player` and `cheat` unless one was posted
// about that player within the last 8500 ms.
void warnPlayer(PlayerId player, TickMs now, const char *cheat);

// The player's colour as six lower-case hex digits, red, green, blue.
struct ColourHex {
    char digits[7];
};
ColourHex playerColourHex(PlayerId player);

bool CALLBACK onIncomingPacket(stRakNetHookParams *params);
bool CALLBACK onIncomingRpc(stRakNetHookParams *params);
