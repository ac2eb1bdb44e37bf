#include "filter.h"

namespace replay {

bool Filtered::inStretch(const Place &p) const {
    if (filter_.fromSeconds && p.seconds < *filter_.fromSeconds)
        return false;
    if (filter_.toSeconds && p.seconds > *filter_.toSeconds)
        return false;
    if (filter_.fromTick && p.tick < *filter_.fromTick)
        return false;
    if (filter_.toTick && p.tick > *filter_.toTick)
        return false;
    return true;
}

void Filtered::effect(const host::Effect &effect, const Place &place) {
    bool keep = inStretch(place);
    if (!filter_.players.empty()) {
        // Of a player's doings only the warnings about them are theirs.
        bool warning = std::holds_alternative<host::ChatLine>(effect) && place.warning;
        keep = keep && warning && asked(place.warning->player);
    }
    if (keep)
        inner_.effect(effect, place);
}

void Filtered::pass(const std::vector<host::TextDrawn> &labels, const Place &place) {
    bool keep = inStretch(place);
    if (!filter_.players.empty())
        keep = keep && asked(spectated_);
    if (keep)
        inner_.pass(labels, place);
}

void Filtered::spectate(std::optional<uint16_t> player, const std::string &name,
                        const Place &place) {
    spectated_ = player;
    inner_.spectate(player, name, place);
}

} // namespace replay
