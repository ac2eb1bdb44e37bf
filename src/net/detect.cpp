// Sprint-hook detection: a player who moves fast with SPRINT held, right
// after their previous packet, without a recent jump and in one of the two
// animation states the cheat leaves, five packets in a row, gets a chat
// warning, at most one per player every 8500 ms. The tests themselves are
// judgeSync's (judge.cpp); this file keeps the per-player tables and posts.
#include "net/net.h"

#include "core/plugin.h"

#include <cstdio>

TickMs lastSyncTick[playerTableSize] = {};
TickMs lastJumpTick[playerTableSize] = {};
int32_t suspectCount[playerTableSize] = {};
TickMs lastWarnTick[playerTableSize] = {};

static const TickMs warnIntervalMs = 8500;

static const D3DCOLOR warningColour = 0x00FF2B2B;
// "[norvi warnings]: {%s}%s[%d] возможно %s"
static const char warningFormat[] =
    "[norvi warnings]: {%s}%s[%d] \xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE %s";

void detectSprintHook(PlayerId player, const PlayerSyncData &sync, TickMs now) {
    SprintHookState before = {lastSyncTick[player], lastJumpTick[player], suspectCount[player]};
    SprintHookStep step = judgeSync(sync, now, before);
    lastJumpTick[player] = step.lastJump;
    suspectCount[player] = step.run;
    if (step.warn)
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
