#include "summary.h"

#include "sync_packet.h"

namespace replay {

void Summary::packet(int id, const SyncStep &step, const Place & /*place*/) {
    if (id != host::playerSyncId)
        return;
    syncPackets_++;
    if (!step.decoded)
        dropped_++;
}

void Summary::effect(const host::Effect & /*effect*/, const Place &place) {
    if (!place.warning)
        return;
    Warned &w = warned_[place.warning->player];
    if (w.warnings == 0)
        w.first = place.seconds;
    w.warnings++;
    w.last = place.seconds;
    w.name = place.warning->name;
}

void Summary::spectate(std::optional<uint16_t> player, const std::string &name,
                       const Place &place) {
    watch(player, name, place.seconds);
}

// Spectating moves to `player` (none: ends).
void Summary::watch(std::optional<uint16_t> player, const std::string &name, double seconds) {
    if (player == watching_)
        return;
    if (watching_)
        spectated_[*watching_].seconds += seconds - since_;
    watching_ = player;
    since_ = seconds;
    if (player)
        spectated_[*player].name = name;
}

void Summary::finish(const RunEnd &end) {
    watch(std::nullopt, "", end.seconds);
    length_ = end.seconds;
}

} // namespace replay
