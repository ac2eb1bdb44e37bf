#include "scene.h"

#include "floor.h"

#include <atomic>
#include <random>

namespace fs = std::filesystem;

namespace bench {

namespace {

std::atomic<unsigned> folders{0};

bool CALLBACK passPacket(stRakNetHookParams *) { return true; }

void installPacketHook(RakNetScriptHookCallback_t hook) {
    host::reset();
    // The host's facades are the same for every framework object, so one
    // of the benchmark's own can register a hook as a plugin would.
    SAMPFUNCS framework;
    framework.getRakNet()->registerRakNetCallback(RAKHOOK_TYPE_INCOMING_PACKET, hook);
    host::clearEffects();
}

} // namespace

GameFolder::GameFolder() : previous_(fs::current_path()) {
    dir_ = fs::temp_directory_path() / ("norvi-bench-" + std::to_string(std::random_device{}()) +
                                        "-" + std::to_string(folders++));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "SAMPFUNCS");
    fs::current_path(dir_);
}

GameFolder::~GameFolder() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(dir_, ignored);
}

StartedPlugin::StartedPlugin() {
    host::reset();
    plugin = std::make_unique<host::LoadedPlugin>(host::pluginBesideExecutable());
    if (!plugin->loaded()) {
        error = plugin->error();
        return;
    }
    host::runFrame(); // the host is ready at once: start-up runs on this frame
    host::clearEffects();
}

void installFloorHook() { installPacketHook(readSyncFields); }
void installPassingHook() { installPacketHook(passPacket); }

void spectate(uint16_t player) {
    // The id as the RPC carries it: least significant byte first.
    const unsigned char params[2] = {static_cast<unsigned char>(player),
                                     static_cast<unsigned char>(player >> 8)};
    host::deliverRpc(126, params, 16);
}

} // namespace bench
