// Plays a parsed trace to the plugin loaded in the stand-in host, writing
// every effect the plugin has to a transcript as it happens.
#pragma once

#include "trace.h"
#include "transcript.h"

#include <vector>

namespace replay {

// The last render pass that drew anything, with the screen it was drawn on.
struct Picture {
    std::vector<host::TextDrawn> labels;
    int width = 1920, height = 1080;
    float fontHeight = 14.0f;
};

// Runs `events` in order. The plugin is loaded already; the host's scene
// starts from its defaults.
Picture play(const std::vector<Event> &events, Transcript &transcript);

} // namespace replay
