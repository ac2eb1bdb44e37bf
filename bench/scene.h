// The scene every benchmark starts from: a fresh game folder as the current
// directory, the host at its defaults, and a freshly loaded plugin that has
// run its start-up frame, as the game would have it a moment after joining.
#pragma once

#include "host.h"
#include "loader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace bench {

// A game folder holding an empty SAMPFUNCS folder, made the current
// directory for as long as the object lives, then removed.
class GameFolder {
  public:
    GameFolder();
    ~GameFolder();
    GameFolder(const GameFolder &) = delete;
    GameFolder &operator=(const GameFolder &) = delete;

  private:
    std::filesystem::path dir_, previous_;
};

// A started plugin in a game folder of its own. The host is reset first,
// so no hook of an earlier scene is left registered.
struct StartedPlugin {
    StartedPlugin();
    GameFolder folder;
    std::unique_ptr<host::LoadedPlugin> plugin;
    std::string error; // empty when the plugin loaded and started
};

// Host-side packet hooks for comparison with the plugin's; each replaces
// whatever hooks the host had (host::reset()).
void installFloorHook();   // the bare field reads (floor.h)
void installPassingHook(); // returns at once: the host's own delivery cost

// RPC 126: the local player now spectates `player`.
void spectate(uint16_t player);

} // namespace bench
