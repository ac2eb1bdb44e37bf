#include "summary.h"

namespace replay {

void Summary::packet(const unsigned char *bytes, uint32_t bitCount, int id, uint32_t tick) {
    if (id != 207)
        return;
    syncPackets_++;
    // The plugin's own decoder tells which packets its detection never
    // sees.
    if (!decoder_.packet(bytes, bitCount, id, tick).decoded)
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

void Summary::spectate(int target, const std::string &name, double seconds) {
    if (target == watching_)
        return;
    if (watching_ >= 0)
        spectated_[static_cast<uint16_t>(watching_)].seconds += seconds - since_;
    watching_ = target;
    since_ = seconds;
    if (target >= 0)
        spectated_[static_cast<uint16_t>(target)].name = name;
}

void Summary::end(double seconds) {
    spectate(-1, "", seconds);
    length_ = seconds;
}

} // namespace replay
