// Events written back as trace lines: how a capture becomes a trace that
// replays the same way (and can be cut down, shared or made into a test).
#pragma once

#include "events.h"

#include <optional>
#include <string>

namespace replay {

// The trace line of `event`, without its line end; nullopt when a trace
// cannot say it: a name holding byte 0x98 (Windows-1251 has no character
// for it), or a sync event (written by hand, never read from a capture).
std::optional<std::string> traceLineOf(const Event &event);

} // namespace replay
