// Spectate target tracking: the server starts spectating with RPC 126 and
// ends it with RPC 124 carrying zero.
#include "net/net.h"

int16_t spectateTarget = -1;

bool CALLBACK onIncomingRpc(stRakNetHookParams *params) {
    followSpectateRpc(params->packetId, params->bitStream, spectateTarget);
    return true;
}
