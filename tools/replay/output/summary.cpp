#include "summary.h"

#include "sync_packet.h"

namespace replay {

void Summary::packet(int id, const SyncStep &step) {
    if (id != host::playerSyncId)
        return;
    syncPackets_++;
    if (!step.decoded)
        dropped_++;
}

void Summary::warning(uint16_t player, const std::string &name, double seconds) {
    Warned &w = warned_[player];
    if (w.warnings == 0)
        w.first = seconds;
    w.warnings++;
    w.last = seconds;
    w.name = name;
}

void Summary::spectate(std::optional<uint16_t> player, const std::string &name, double seconds) {
    if (player == watching_)
        return;
    if (watching_)
        spectated_[*watching_].seconds += seconds - since_;
    watching_ = player;
    since_ = seconds;
    if (player)
        spectated_[*player].name = name;
}

void Summary::end(double seconds) {
    spectate(std::nullopt, "", seconds);
    length_ = seconds;
}

} // namespace replay
