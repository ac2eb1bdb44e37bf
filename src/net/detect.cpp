// Sprint-hook detection: a player who moves fast with SPRINT held, right
// after their previous packet, without a recent jump and in one of the two
// animation states the cheat leaves, five packets in a row, gets a chat
// warning, at most one per player every 8500 ms.
#include "net/net.h"

#include "core/plugin.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>

TickMs lastSyncTick[playerTableSize] = {};
TickMs lastJumpTick[playerTableSize] = {};
int32_t suspectCount[playerTableSize] = {};
TickMs lastWarnTick[playerTableSize] = {};

// Speed in the game's units: 14.9 rounded to single precision.
static const float sprintHookSpeed = std::bit_cast<float>(0x416E6666u);
static const TickMs maxSyncGapMs = 250; // packets closer than this belong to a run
static const TickMs jumpCoverMs = 1250; // a jump explains speed for this long
static const int32_t suspectRun = 5;    // suspect packets in a row before a warning
static const TickMs warnIntervalMs = 8500;

static const uint16_t sprintAnimationId = 1228;
static const int16_t sprintAnimationFlags = -32766; // 0x8002

static const D3DCOLOR warningColour = 0x00FF2B2B;
// "[norvi warnings]: {%s}%s[%d] возможно %s"
static const char warningFormat[] =
    "[norvi warnings]: {%s}%s[%d] \xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE %s";

static bool animationLooksLikeSprintHook(const PlayerSyncData &sync) {
    if (sync.animationId == sprintAnimationId && sync.animationFlags == sprintAnimationFlags)
        return true;
    // A packet without the animation block has both at 0.
    return sync.animationId == 0 && sync.animationFlags == 0;
}

static bool isSuspect(PlayerId player, const PlayerSyncData &sync, TickMs now) {
    const float *v = sync.velocity;
    float speed = std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) * 100.0f;
    // A NaN speed fails the comparison.
    if (!(speed > sprintHookSpeed))
        return false;
    if (!(sync.keys & keySprint))
        return false;
    if (now - lastSyncTick[player] >= maxSyncGapMs)
        return false;
    if (now - lastJumpTick[player] <= jumpCoverMs)
        return false;
    return animationLooksLikeSprintHook(sync);
}

void detectSprintHook(PlayerId player, const PlayerSyncData &sync, TickMs now) {
    // Stamped before the tests, so a packet with JUMP held is never suspect.
    if (sync.keys & keyJump)
        lastJumpTick[player] = now;

    if (!isSuspect(player, sync, now)) {
        suspectCount[player] = 0;
        return;
    }
    // The count holds at its top instead of wrapping negative on an endless run.
    if (suspectCount[player] < INT32_MAX)
        suspectCount[player]++;
    // Every further suspect packet of the run asks again; warnPlayer alone
    // keeps the lines apart.
    if (suspectCount[player] >= suspectRun)
        warnPlayer(player, now, "SprintHook");
}

void warnPlayer(PlayerId player, TickMs now, const char *cheat) {
    if (now - lastWarnTick[player] < warnIntervalMs)
        return;
    stChatInfo *chat = SF->getSAMP()->getChat();
    const char *name = SF->getSAMP()->getPlayers()->GetPlayerName(player);
    // A player the host has no name for is still named, with an empty name.
    if (name == nullptr)
        name = "";
    ColourHex colour = playerColourHex(player);
    chat->AddChatMessage(warningColour, warningFormat, colour.digits, name,
                         static_cast<int>(player), cheat);
    lastWarnTick[player] = now;
}

ColourHex playerColourHex(PlayerId player) {
    D3DCOLOR colour = SF->getSAMP()->getPlayers()->GetPlayerColor(player);
    BYTE alpha = 0, red = 0, green = 0, blue = 0;
    SF->getRender()->ARGB_To_A_R_G_B(colour, alpha, red, green, blue);
    ColourHex hex = {};
    // Three bytes give exactly six digits, which the buffer holds.
    (void)std::snprintf(hex.digits, sizeof hex.digits, "%02x%02x%02x", red, green, blue);
    return hex;
}
