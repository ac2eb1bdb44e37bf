// The plugin's sprint-hook judgement of every player sync packet, followed
// beside the plugin: each packet is decoded once, with the plugin's own
// decoder, and judged by the plugin's own judgeSync on per-player tables of
// the tool's own. Every output takes what it needs from the one Step: the
// summary the dropped packets, the timeline the runs that stopped short of
// a warning, the runner whose packet a warning line is about. The Step is
// events.h's SyncStep, so that the outputs need nothing of this folder.
#pragma once

#include "events.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace replay {

class SuspectTracker {
  public:
    using Step = SyncStep;
    // `tick` is the host's tick counter when the packet arrived, `origin`
    // and `seconds` where and when, for the evidence.
    Step packet(const unsigned char *bytes, uint32_t bitCount, int packetId, uint32_t tick,
                uint64_t origin = 0, double seconds = 0);

    // The suspect packets of the player's current run, the last
    // evidenceKept at most, oldest first: what a warning about the player
    // posted now was made of.
    std::vector<SuspectPacket> evidence(uint16_t player) const;
    static constexpr size_t evidenceKept = 5;

    // Whether a run of `run` suspect packets is one that asked for no
    // warning: at least one packet, fewer than the plugin's run.
    static bool shortOfWarning(int32_t run);

  private:
    // A player's entries of the tables the plugin keeps for its detection.
    struct Player {
        uint32_t lastSync = 0, lastJump = 0;
        int32_t run = 0;
        // The run's latest suspect packets, a ring: the newest at
        // (kept - 1) % evidenceKept.
        std::array<SuspectPacket, evidenceKept> latest{};
        size_t kept = 0;
    };
    std::array<Player, 1000> players_{};
};

} // namespace replay
