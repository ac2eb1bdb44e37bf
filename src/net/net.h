// Network observation: the incoming-packet and incoming-RPC hooks, the
// player-sync record they decode, and the sprint-hook detection.
#pragma once

#include "SAMPFUNCS_API.h"

#include <bit>
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

// The player the local player spectates; -1 for none. Any other value,
// negative ones and ids of 1000 and more included, is a spectated player.
extern int16_t spectateTarget;

// Whether `target` names a spectated player.
inline bool spectating(int16_t target) { return target != -1; }
// The player `target` names, as sync packets carry player ids.
inline PlayerId spectatedPlayer(int16_t target) { return static_cast<PlayerId>(target); }

// What an incoming RPC, its parameters in `stream`, makes of `target`:
// RPC 126 sets it from its first 16 bits, RPC 124 with 32 zero bits sets it
// to -1, anything else (a stream too short included) leaves it. Returns
// whether the RPC set the target, to the value it had or another. Pure but
// for the stream, so that the replay tool follows spectating exactly as
// the plugin's RPC hook does.
bool followSpectateRpc(int rpcId, BitStream *stream, int16_t &target);

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

// Suspect packets in a row that ask for a warning.
const int32_t sprintHookRun = 5;
// A packet is suspect only faster than this, in syncSpeed's units: 14.9
// rounded to single precision. Named here so that the replay tool's report
// draws the very limit the tests compare with.
inline const float sprintHookSpeed = std::bit_cast<float>(0x416E6666u);

// One player's entries of the per-player tables, as the sprint-hook tests
// read them.
struct SprintHookState {
    TickMs lastSync; // the player's previous decoded packet
    TickMs lastJump; // the latest one with JUMP held
    int32_t run;     // suspect packets in a row so far
};
// The speed the sprint-hook test measures: the velocity's length times
// 100, in single precision.
float syncSpeed(const PlayerSyncData &sync);

// What one decoded packet of that player makes of them.
struct SprintHookStep {
    TickMs lastJump; // `now` when the packet holds JUMP, else as it was
    bool suspect;    // the packet passed all five tests
    int32_t run;     // suspect packets in a row now: 0 after a packet that is not
    bool warn;       // the run asks for a warning (warnPlayer keeps them apart)
};
// The sprint-hook tests on one decoded packet that arrived at `now`. Pure:
// it reads and writes no table, so that the replay tool judges packets by
// the plugin's own rules. The caller stamps `lastSync` afterwards.
SprintHookStep judgeSync(const PlayerSyncData &sync, TickMs now, const SprintHookState &before);

// Runs one decoded packet of player `player` through the sprint-hook
// heuristic (judgeSync on the player's table entries); may post a warning.
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
