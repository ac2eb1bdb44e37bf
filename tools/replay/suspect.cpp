#include "suspect.h"

#include "net/net.h"

#include <bit>
#include <cmath>

namespace replay {

namespace {

// The plugin's thresholds, restated: 14.9 rounded to single precision,
// packets less than 250 ms apart, no jump in the last 1250 ms.
const float suspectSpeed = std::bit_cast<float>(0x416E6666u);
const uint32_t maxGapMs = 250;
const uint32_t jumpCoverMs = 1250;

bool sprintAnimation(const PlayerSyncData &sync) {
    if (sync.animationId == 1228 && sync.animationFlags == -32766)
        return true;
    return sync.animationId == 0 && sync.animationFlags == 0;
}

} // namespace

SuspectTracker::Step SuspectTracker::packet(const unsigned char *bytes, uint32_t bitCount,
                                            int packetId, uint32_t tick) {
    Step step;
    if (packetId != 207)
        return step;
    BitStream stream(bytes, bitCount);
    stream.IgnoreBits(8); // the identifier byte
    PlayerSyncData sync = {};
    PlayerId id = 0;
    if (!readPlayerSync(&stream, sync, id))
        return step;

    Player &p = players_[id];
    if (sync.keys & keyJump)
        p.lastJump = tick;
    const float *v = sync.velocity;
    float speed = std::sqrt((v[0] * v[0] + v[1] * v[1]) + v[2] * v[2]) * 100.0f;
    bool suspect = speed > suspectSpeed && (sync.keys & keySprint) != 0 &&
                   tick - p.lastSync < maxGapMs && tick - p.lastJump > jumpCoverMs &&
                   sprintAnimation(sync);
    p.lastSync = tick;

    step.decoded = true;
    step.player = id;
    step.suspect = suspect;
    if (suspect) {
        if (p.run < INT32_MAX)
            p.run++;
    } else {
        step.runEnded = p.run;
        p.run = 0;
    }
    step.run = p.run;
    return step;
}

int32_t SuspectTracker::run(uint16_t player) const {
    return player < players_.size() ? players_[player].run : 0;
}

} // namespace replay
