// Plays events to the plugin loaded in the stand-in host and hands every
// effect the plugin has, as it happens, to a list of outputs (output.h).
#pragma once

#include "output.h"
#include "recent_syncs.h"
#include "suspect.h"
#include "trace.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace replay {

// Runs events in order, one at a time, keeping nothing per event beyond a
// bounded number of each player's latest sync packets. The plugin is loaded
// already; the host's scene starts from its defaults.
class Runner {
  public:
    // The outputs are called in this order, and must outlive the runner.
    explicit Runner(std::vector<Output *> outputs);
    // Runs one event. `origin` tells where it came from (a trace line, a
    // capture record); every effect it causes is placed with it.
    void run(const Event &event, uint64_t origin);
    // Runs a packet event given by its bytes (a sync event built already).
    void runPacket(const unsigned char *bytes, uint32_t bitCount, uint32_t id, uint64_t origin);
    // Lets every output show what it has (the input is about to wait).
    void flush();
    // Ends the session: every output finishes, in order.
    void finish();
    // Seconds from the first event to now.
    double seconds() const;
    // Whether the plugin posted any warning line.
    bool warned() const { return warnings_ > 0; }

  private:
    struct PlayerEntry {
        std::optional<std::string> name;
        uint32_t colour = 0xFFFFFFFF;
    };
    std::vector<Output *> outputs_;
    bool judgeEvery_ = false;                 // an output needs every packet judged
    std::map<uint16_t, PlayerEntry> players_; // a companion may change alone
    RunEnd now_;                              // the screen size and font height in force
    std::vector<host::TextDrawn> pass_;
    uint64_t origin_ = 0;
    Place here_{};                      // of the event being played
    std::optional<uint32_t> firstTick_; // the tick at the first event
    int16_t spectateTarget_ = -1;       // as the plugin's RPC hook keeps it
    std::optional<uint16_t> spectated_; // the player it names, if any
    // Every sync packet judged, when an output needs them all; else only
    // the latest kept, judged when a warning comes.
    SuspectTracker suspects_;
    RecentSyncs recent_;
    // A player sync packet is being delivered; and its sender, whose
    // warning line (if the plugin posts one) is about them, where an output
    // needs to know.
    bool handlingSync_ = false;
    std::optional<uint16_t> syncSender_;
    WarningCause cause_; // of the latest warning line, for the outputs
    uint64_t warnings_ = 0;

    void begin(uint64_t origin);
    void deliverPacket(const unsigned char *bytes, uint32_t bitCount, int id);
    void deliverRpc(int id, const unsigned char *data, uint32_t bitCount);
    void drain();
    void endPass();
    Place place() const;
    std::string nameOf(uint16_t player) const;
    friend struct Play;
};

} // namespace replay
