// Plays events to the plugin loaded in the stand-in host, writing every
// effect the plugin has to a transcript as it happens.
#pragma once

#include "trace.h"
#include "transcript.h"

#include <cstdint>
#include <map>
#include <vector>

namespace replay {

// The last render pass that drew anything, with the screen it was drawn on.
struct Picture {
    std::vector<host::TextDrawn> labels;
    int width = 1920, height = 1080;
    float fontHeight = 14.0f;
};

// Runs events in order, one at a time, keeping nothing per event. The
// plugin is loaded already; the host's scene starts from its defaults.
class Runner {
  public:
    explicit Runner(Transcript &transcript);
    // Runs one event. `origin` tells where it came from (a trace line, a
    // capture record); every effect it causes is written with it.
    void run(const Event &event, uint64_t origin);
    // Writes out what is buffered; the last pass that drew anything.
    const Picture &finish();

  private:
    struct PlayerEntry {
        std::optional<std::string> name;
        uint32_t colour = 0xFFFFFFFF;
    };
    Transcript &transcript_;
    std::map<uint16_t, PlayerEntry> players_; // a companion may change alone
    Picture screen_;                          // the current screen size and font height
    Picture picture_;
    std::vector<host::TextDrawn> pass_;
    uint64_t origin_ = 0;

    void drain();
    void endPass();
    friend struct Play;
};

} // namespace replay
