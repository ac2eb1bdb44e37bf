#include "recent_syncs.h"

#include "net/net.h"

#include <algorithm>
#include <cstring>

namespace replay {

namespace {

// The plugin's own reading of a kept packet: false where it dropped it.
bool judged(const unsigned char *bytes, uint32_t bitCount, PlayerSyncData &sync) {
    BitStream stream(bytes, bitCount);
    stream.IgnoreBits(8); // the identifier byte
    sync = {};
    PlayerId id = 0;
    return readPlayerSync(&stream, sync, id);
}

} // namespace

RecentSyncs::RecentSyncs() : players_(maxPlayers) {}

std::optional<uint16_t> RecentSyncs::keep(const unsigned char *bytes, uint32_t bitCount,
                                          uint32_t tick, uint64_t origin, double seconds) {
    // The sender: the 16 bits after the identifier byte, low byte first, as
    // the plugin reads them first. A packet too short for them names player
    // 0, as it does for the plugin, which then drops it for want of the rest.
    PlayerId player = bitCount >= 24 ? static_cast<PlayerId>(bytes[1] | bytes[2] << 8) : 0;
    if (player >= maxPlayers)
        return std::nullopt;

    History &h = players_[player];
    if (h.packets.empty())
        h.packets.resize(perPlayer);
    if (h.count == perPlayer)
        letGo(h);
    Kept &k = h.packets[h.count++];
    uint32_t bits = std::min<uint32_t>(bitCount, 8 * host::maxSyncBytes);
    std::memcpy(k.bytes.data(), bytes, (bits + 7) / 8);
    k.bitCount = bits;
    k.tick = tick;
    k.origin = origin;
    k.seconds = seconds;
    return player;
}

// Makes room: keeps the newest packets the plugin judged, as many as the
// evidence needs, and lets everything older and everything dropped go.
void RecentSyncs::letGo(History &h) {
    size_t kept = 0;
    size_t at = h.count;
    PlayerSyncData sync;
    for (size_t i = h.count; i-- > 0 && kept < needed;) {
        if (judged(h.packets[i].bytes.data(), h.packets[i].bitCount, sync)) {
            h.packets[--at] = h.packets[i];
            kept++;
        }
    }
    std::copy(h.packets.begin() + static_cast<std::ptrdiff_t>(at),
              h.packets.begin() + static_cast<std::ptrdiff_t>(h.count), h.packets.begin());
    h.count -= at;
}

std::vector<SuspectPacket> RecentSyncs::evidence(uint16_t player) const {
    std::vector<SuspectPacket> newestFirst;
    if (player >= players_.size())
        return newestFirst;
    newestFirst.reserve(needed - 1); // `later` stays where it points
    const History &h = players_[player];
    PlayerSyncData sync;
    SuspectPacket *later = nullptr; // the packet judged after this one
    for (size_t i = h.count; i-- > 0;) {
        const Kept &k = h.packets[i];
        if (!judged(k.bytes.data(), k.bitCount, sync))
            continue;
        if (later)
            later->gapMs = later->tick - k.tick;
        if (newestFirst.size() == needed - 1)
            break;
        // Before the player's first judged packet the plugin's table holds 0.
        newestFirst.push_back(SuspectPacket{k.origin, k.tick, k.seconds, syncSpeed(sync), sync.keys,
                                            sync.animationId, sync.animationFlags, k.tick});
        later = &newestFirst.back();
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

} // namespace replay
