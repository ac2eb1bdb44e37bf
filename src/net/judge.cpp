// The plugin's decisions on what it receives, as pure functions of the
// packet and the state handed in: the sprint-hook tests on one decoded sync
// packet, and what an RPC makes of the spectate target. The hooks call them
// with the plugin's own tables; the replay tool calls the same functions
// with tables of its own, so that what it reports is what the plugin did.
#include "net/net.h"

#include <climits>
#include <cmath>

static const TickMs maxSyncGapMs = 250; // packets closer than this belong to a run
static const TickMs jumpCoverMs = 1250; // a jump explains speed for this long

static const uint16_t sprintAnimationId = 1228;
static const int16_t sprintAnimationFlags = -32766; // 0x8002

static const int rpcSpectatePlayer = 126;
static const int rpcToggleSpectating = 124;

static bool animationLooksLikeSprintHook(const PlayerSyncData &sync) {
    if (sync.animationId == sprintAnimationId && sync.animationFlags == sprintAnimationFlags)
        return true;
    // A packet without the animation block has both at 0.
    return sync.animationId == 0 && sync.animationFlags == 0;
}

float syncSpeed(const PlayerSyncData &sync) {
    const float *v = sync.velocity;
    return std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) * 100.0f;
}

static bool isSuspect(const PlayerSyncData &sync, TickMs now, TickMs lastSync, TickMs lastJump) {
    // A NaN speed fails the comparison.
    if (!(syncSpeed(sync) > sprintHookSpeed))
        return false;
    if (!(sync.keys & keySprint))
        return false;
    if (now - lastSync >= maxSyncGapMs)
        return false;
    if (now - lastJump <= jumpCoverMs)
        return false;
    return animationLooksLikeSprintHook(sync);
}

SprintHookStep judgeSync(const PlayerSyncData &sync, TickMs now, const SprintHookState &before) {
    SprintHookStep step = {};
    // Stamped before the tests, so a packet with JUMP held is never suspect.
    step.lastJump = (sync.keys & keyJump) ? now : before.lastJump;
    step.suspect = isSuspect(sync, now, before.lastSync, step.lastJump);
    if (step.suspect)
        // The count holds at its top instead of wrapping negative on an
        // endless run.
        step.run = before.run < INT32_MAX ? before.run + 1 : INT32_MAX;
    // Every further suspect packet of the run asks again; the warning alone
    // keeps the lines apart.
    step.warn = step.run >= sprintHookRun;
    return step;
}

bool followSpectateRpc(int rpcId, BitStream *stream, int16_t &target) {
    if (rpcId == rpcSpectatePlayer) {
        // Straight into the target: a stream too short for the id writes
        // nothing and leaves the target as it was.
        return stream->ReadBits(reinterpret_cast<unsigned char *>(&target), 16, true);
    }
    if (rpcId == rpcToggleSpectating) {
        // Not zero unless the stream says so: a short stream ends nothing.
        uint32_t toggle = 0xFFFFFFFF;
        stream->ReadBits(reinterpret_cast<unsigned char *>(&toggle), 32, true);
        if (toggle == 0) {
            target = -1;
            return true;
        }
    }
    return false;
}
