#include "suspect.h"

#include "net/net.h"
#include "sync_packet.h"

namespace replay {

static_assert(maxPlayers == 1000, "one table entry per player id the detection sees");

SuspectTracker::Step SuspectTracker::packet(const unsigned char *bytes, uint32_t bitCount,
                                            int packetId, uint32_t tick) {
    Step step;
    if (packetId != host::playerSyncId)
        return step;
    BitStream stream(bytes, bitCount);
    stream.IgnoreBits(8); // the identifier byte
    PlayerSyncData sync = {};
    PlayerId id = 0;
    if (!readPlayerSync(&stream, sync, id))
        return step;

    Player &p = players_[id];
    SprintHookStep judged = judgeSync(sync, tick, SprintHookState{p.lastSync, p.lastJump, p.run});
    step.decoded = true;
    step.player = id;
    step.suspect = judged.suspect;
    step.run = judged.run;
    if (!judged.suspect)
        step.runEnded = p.run;
    step.runShort = shortOfWarning(step.run);
    step.runEndedShort = shortOfWarning(step.runEnded);
    p.lastJump = judged.lastJump;
    p.run = judged.run;
    p.lastSync = tick;
    return step;
}

bool SuspectTracker::shortOfWarning(int32_t run) { return run > 0 && run < sprintHookRun; }

} // namespace replay
