// Each player's latest sync packets, kept as they came, for the evidence of
// a warning, when no output needs every packet judged: the packets are
// decoded (with the plugin's own decoder) only when a warning comes, and a
// few at a time when a player's list fills up, instead of each one as it
// comes. The evidence is the same as SuspectTracker's.
#pragma once

#include "events.h"

#include "sync_packet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace replay {

class RecentSyncs {
  public:
    RecentSyncs();

    // Keeps a player sync packet (`bytes` from its identifier byte on) that
    // arrived at `tick`, from `origin`, `seconds` into the session. Returns
    // the player it names, or nothing for an id the plugin ignores.
    std::optional<uint16_t> keep(const unsigned char *bytes, uint32_t bitCount, uint32_t tick,
                                 uint64_t origin, double seconds);

    // What a warning about `player` posted now was made of: the player's
    // five latest packets the plugin judged (all suspect, or it would not
    // have warned), oldest first, each with its gap from the one before.
    std::vector<SuspectPacket> evidence(uint16_t player) const;

    // Packets kept per player before the oldest are let go: the more, the
    // fewer decoded to find which to keep.
    static constexpr size_t perPlayer = 128;

  private:
    struct Kept {
        // A sync packet is read no further than this; longer ones are kept
        // cut to it, which reads the same.
        std::array<unsigned char, host::maxSyncBytes> bytes;
        uint32_t bitCount;
        uint32_t tick;
        uint64_t origin;
        double seconds;
    };
    // The evidence needs the newest five the plugin judged, and the one
    // before them for the first gap.
    static constexpr size_t needed = 6;

    // A player's packets, oldest first: every one since the sixth newest
    // the plugin judged (all of them while it judged fewer). Room for
    // perPlayer is made at the player's first packet.
    struct History {
        std::vector<Kept> packets;
        size_t count = 0;
    };
    std::vector<History> players_;

    static void letGo(History &history);
};

} // namespace replay
