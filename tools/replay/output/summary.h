// A whole session in figures: who was warned, how often and when; who was
// spectated and for how long; how many events, packets and RPCs.
#pragma once

#include "events.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace replay {

class Summary {
  public:
    struct Warned {
        std::string name; // Windows-1251, as the player pool named them last
        uint64_t warnings = 0;
        double first = 0, last = 0; // seconds from the first event
    };
    struct Watched {
        std::string name;
        double seconds = 0;
    };

    void event() { events_++; }
    // A packet handed to the plugin, with what the tracker made of it.
    void packet(int id, const SyncStep &step);
    void rpc() { rpcs_++; }
    void warning(uint16_t player, const std::string &name, double seconds);
    // Spectating moves to `player` (none: ends).
    void spectate(std::optional<uint16_t> player, const std::string &name, double seconds);
    void end(double seconds);

    uint64_t events() const { return events_; }
    uint64_t syncPackets() const { return syncPackets_; }
    // Sync packets the plugin drops: a dead player, an id of 1000 or more.
    uint64_t droppedPackets() const { return dropped_; }
    uint64_t rpcs() const { return rpcs_; }
    double length() const { return length_; }
    const std::map<uint16_t, Warned> &warned() const { return warned_; }
    const std::map<uint16_t, Watched> &spectated() const { return spectated_; }

  private:
    uint64_t events_ = 0, syncPackets_ = 0, dropped_ = 0, rpcs_ = 0;
    double length_ = 0;
    std::map<uint16_t, Warned> warned_;
    std::map<uint16_t, Watched> spectated_;
    std::optional<uint16_t> watching_;
    double since_ = 0;
};

} // namespace replay
