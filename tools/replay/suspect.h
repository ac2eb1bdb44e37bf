// A shadow of the plugin's sprint-hook heuristic, run by the tool beside the
// plugin so that a picture can show suspicion that never became a warning:
// runs of suspect packets that stopped short of five. It decodes player sync
// packets with the plugin's own decoder and applies the same five tests to
// the same per-player times; the plugin itself is neither read nor changed.
#pragma once

#include <array>
#include <cstdint>

namespace replay {

class SuspectTracker {
  public:
    // What one packet did. `decoded` is false for anything the plugin's
    // detection never sees (not a player sync packet, a player id of 1000
    // or more, a dead player); the rest is then zero.
    struct Step {
        bool decoded = false;
        uint16_t player = 0;
        bool suspect = false;
        int32_t run = 0;      // suspect packets in a row after this one
        int32_t runEnded = 0; // length of the run this packet broke, else 0
    };
    // `tick` is the host's tick counter when the packet arrived.
    Step packet(const unsigned char *bytes, uint32_t bitCount, int packetId, uint32_t tick);
    // Suspect packets in a row so far from `player` (0 for ids >= 1000).
    int32_t run(uint16_t player) const;

  private:
    struct Player {
        uint32_t lastSync = 0, lastJump = 0;
        int32_t run = 0;
    };
    std::array<Player, 1000> players_{};
};

} // namespace replay
