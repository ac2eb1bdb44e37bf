// A whole session in figures: who was warned, how often and when; who was
// spectated and for how long; how many events, packets and RPCs.
#pragma once

#include "output.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace replay {

class Summary final : public Output {
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

    // Counts the dropped packets.
    bool needsEveryPacket() const override { return true; }
    void event(const Place & /*place*/) override { events_++; }
    void packet(int id, const SyncStep &step, const Place &place) override;
    void rpc(int /*id*/, const unsigned char * /*data*/, uint32_t /*bitCount*/,
             const Place & /*place*/) override {
        rpcs_++;
    }
    void effect(const host::Effect &effect, const Place &place) override;
    void spectate(std::optional<uint16_t> player, const std::string &name,
                  const Place &place) override;
    void finish(const RunEnd &end) override;

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

    void watch(std::optional<uint16_t> player, const std::string &name, double seconds);
};

} // namespace replay
