#include "suspect.h"

#include "net/net.h"
#include "sync_packet.h"

#include <algorithm>

namespace replay {

static_assert(maxPlayers == 1000, "one table entry per player id the detection sees");

SuspectTracker::Step SuspectTracker::packet(const unsigned char *bytes, uint32_t bitCount,
                                            int packetId, uint32_t tick, uint64_t origin,
                                            double seconds) {
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
    step.speed = syncSpeed(sync);
    step.keys = sync.keys;
    if (judged.suspect) {
        p.latest[p.kept++ % evidenceKept] = SuspectPacket{origin,
                                                          tick,
                                                          seconds,
                                                          step.speed,
                                                          step.keys,
                                                          sync.animationId,
                                                          sync.animationFlags,
                                                          tick - p.lastSync};
    } else {
        p.kept = 0;
    }
    p.lastJump = judged.lastJump;
    p.run = judged.run;
    p.lastSync = tick;
    return step;
}

std::vector<SuspectPacket> SuspectTracker::evidence(uint16_t player) const {
    std::vector<SuspectPacket> packets;
    if (player >= players_.size())
        return packets;
    const Player &p = players_[player];
    size_t n = std::min(p.kept, evidenceKept);
    for (size_t i = p.kept - n; i < p.kept; i++)
        packets.push_back(p.latest[i % evidenceKept]);
    return packets;
}

bool SuspectTracker::shortOfWarning(int32_t run) { return run > 0 && run < sprintHookRun; }

} // namespace replay
