// The incoming-packet hook: time-stamps and decodes each player sync packet,
// runs it through the sprint-hook detection, hands the spectated player's
// keys to the overlay, and stamps the player's last sync. Every packet goes
// on to the host unchanged.
#include "net/net.h"

#include "overlay/overlay.h"

TickMs lastPacketTick = 0;

static bool firstPacketSeen = false;
static const int packetPlayerSync = 207;

bool CALLBACK onIncomingPacket(stRakNetHookParams *params) {
    if (!firstPacketSeen) {
        firstPacketSeen = true;
        lastPacketTick = GetTickCount();
    }
    if (params->packetId != packetPlayerSync)
        return true;

    // One instant for the whole packet: every age and stamp below uses it.
    lastPacketTick = GetTickCount();

    PlayerSyncData sync = {};
    PlayerId player = 0;
    BitStream *stream = params->bitStream;
    stream->ResetReadPointer();
    stream->IgnoreBits(8); // the identifier byte
    if (!readPlayerSync(stream, sync, player))
        return true;

    detectSprintHook(player, sync, lastPacketTick);
    if (spectatedPlayer(spectateTarget) == player)
        updateKeyColours(sync.keys);
    lastSyncTick[player] = lastPacketTick;
    return true;
}
