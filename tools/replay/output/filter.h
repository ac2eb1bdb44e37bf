// --player, --from and --to: what reaches the output behind the filter
// (the transcript); the plugin and every other output still see it all.
#pragma once

#include "output.h"

#include <cstdint>
#include <optional>
#include <set>

namespace replay {

struct Filter {
    std::set<uint16_t> players; // empty: every player
    // The stretch of the session kept, in seconds from the first event or
    // as ticks; an end left out is open.
    std::optional<double> fromSeconds, toSeconds;
    std::optional<uint32_t> fromTick, toTick;
};

// Hands on to `inner` the effects and render passes within the stretch
// asked for; with players asked for, only the warnings about them and the
// key column while one of them is spectated. Everything else passes.
class Filtered final : public Output {
  public:
    Filtered(Output &inner, Filter filter) : inner_(inner), filter_(std::move(filter)) {}

    // With players asked for, every packet is judged as it comes: whose
    // warning a line is then comes from the tool's own judging of every
    // sync packet, as it always has for --player.
    bool needsEveryPacket() const override {
        return !filter_.players.empty() || inner_.needsEveryPacket();
    }
    void effect(const host::Effect &effect, const Place &place) override;
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override;
    void spectate(std::optional<uint16_t> player, const std::string &name,
                  const Place &place) override;
    void event(const Place &place) override { inner_.event(place); }
    void packet(int id, const SyncStep &step, const Place &place) override {
        inner_.packet(id, step, place);
    }
    void rpc(int id, const unsigned char *data, uint32_t bitCount, const Place &place) override {
        inner_.rpc(id, data, bitCount, place);
    }
    void player(uint16_t id, const std::optional<std::string> &name, uint32_t colour,
                const Place &place) override {
        inner_.player(id, name, colour, place);
    }
    void flush() override { inner_.flush(); }
    void finish(const RunEnd &end) override { inner_.finish(end); }

  private:
    Output &inner_;
    Filter filter_;
    std::optional<uint16_t> spectated_;

    bool inStretch(const Place &place) const;
    bool asked(std::optional<uint16_t> player) const {
        return player && filter_.players.count(*player) != 0;
    }
};

} // namespace replay
