// Spectate target tracking: the server starts spectating with RPC 126 and
// ends it with RPC 124 carrying zero.
#include "net/net.h"

#include <cstring>

int16_t spectateTarget = -1;

static const int rpcSpectatePlayer = 126;
static const int rpcToggleSpectating = 124;

bool CALLBACK onIncomingRpc(stRakNetHookParams *params) {
    if (params->packetId == rpcSpectatePlayer) {
        // Straight into the target: a stream too short for the id writes
        // nothing and leaves the target as it was.
        params->bitStream->ReadBits(reinterpret_cast<unsigned char *>(&spectateTarget), 16, true);
    } else if (params->packetId == rpcToggleSpectating) {
        // Not zero unless the stream says so: a short stream ends nothing.
        uint32_t spectating = 0xFFFFFFFF;
        params->bitStream->ReadBits(reinterpret_cast<unsigned char *>(&spectating), 32, true);
        if (spectating == 0)
            spectateTarget = -1;
    }
    return true;
}
