// The stand-in host's control surface: what tests and tools use to set the
// scene the plugin sees, to drive it as the game would, and to read back, in
// order, every effect the plugin had on the host.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#if defined(_WIN32)
#define HOSTAPI SFAPI
#else
#define HOSTAPI __attribute__((visibility("default")))
#endif

namespace host {

// ---- Effects: what the plugin did, in the order it did it ----

struct ChatLine {
    D3DCOLOR colour;
    std::string text; // formatted, Windows-1251 bytes
};
struct FontCreated {
    std::string face;
    int size;
    int flags;
};
struct CommandRegistered {
    std::string name;
};
struct D3DHookRegistered {
    int method;
};
struct RakNetHookRegistered {
    int type;
};
struct CursorToggled {
    bool shown;
};
struct TextDrawn {
    std::string text;
    D3DCOLOR colour;
    float x, y;
    bool option1, option2;
    rect<float> clip;
    int pass; // render hook call that drew it, counted from 1
};
struct ProfileWritten {
    std::string section, key, value, path;
    bool ok;
};

using Effect = std::variant<ChatLine, FontCreated, CommandRegistered, D3DHookRegistered,
                            RakNetHookRegistered, CursorToggled, TextDrawn, ProfileWritten>;

HOSTAPI const std::vector<Effect> &effects();
// Empties the effect log and the hook-return counts below.
HOSTAPI void clearEffects();
// One readable line per effect, e.g. `chat 00FF2B2B [norvi warnings]: ...`.
HOSTAPI std::string describe(const Effect &effect);
HOSTAPI std::vector<std::string> effectLog();

// Calls that leave no effect but whose count matters.
struct CallCounts {
    int beginRender = 0;
    int endRender = 0;
    int drawHeight = 0;
    int isKeyPressed = 0;
    int getCursorPos = 0;
};
HOSTAPI const CallCounts &callCounts();

// What the plugin's hooks answered the host: how many calls of each hook
// returned true and how many false, since the last clearEffects or reset.
// Counts, not a log, so that recording them allocates nothing.
enum class Hook { render, packet, rpc };
struct HookReturns {
    int returnedTrue = 0;
    int returnedFalse = 0;
    bool operator==(const HookReturns &) const = default;
};
HOSTAPI HookReturns hookReturns(Hook hook);

// ---- Scene: what the host reports to the plugin ----

// Everything back to the defaults below; the plugin's callbacks are
// forgotten and the effect log emptied.
HOSTAPI void reset();

HOSTAPI void setGameState(std::optional<int> state); // nullopt: GAME is null [9]
HOSTAPI void setSampInitialized(bool initialized);   // [true]
HOSTAPI void setTick(DWORD tick);                    // [1000000]
HOSTAPI void advanceTick(DWORD ms);                  // wraps at 2^32
HOSTAPI DWORD tick();
// Name (nullopt: the pool has none) and colour 0xAARRGGBB of one player.
// [every player: no name, 0xFFFFFFFF]
HOSTAPI void setPlayer(int playerId, std::optional<std::string> name, D3DCOLOR colour);
HOSTAPI void setScreen(int width, int height); // [1920 x 1080]
HOSTAPI void setCursor(int x, int y);          // [0, 0]
HOSTAPI void setLeftButton(bool pressed);      // [false]
HOSTAPI void setMenuActive(bool active);       // [false]
HOSTAPI void setCanDraw(bool canDraw);         // [true]
HOSTAPI void setBeginRenderResult(int result); // [0]
HOSTAPI void setFontHeight(float height);      // [14.0]
HOSTAPI void setFontCreationFails(bool fails); // [false]

// The host's coordinate conversions, in single precision:
// window = game * (size / (640, 448)), game = window * ((640, 448) / size).
HOSTAPI void gameToWindow(float gameX, float gameY, float *x, float *y);
HOSTAPI void windowToGame(float x, float y, float *gameX, float *gameY);

// ---- Driving the plugin ----

// One game frame: the main loop, then the render hook (four null
// arguments) if one is registered.
HOSTAPI void runFrame();
HOSTAPI void runFrames(int count);
// The two halves of a frame on their own, for measuring each: the main
// loop, or the render hook (four null arguments) if one is registered.
HOSTAPI void runMainLoop();
HOSTAPI void runRenderHook();
HOSTAPI bool hasMainLoop();
HOSTAPI bool hasRenderHook();

// Hands a packet of `bitCount` bits to every registered incoming-packet
// hook. Returns false if any hook returned false (true when none ran).
HOSTAPI bool deliverPacket(const unsigned char *data, uint32_t bitCount, int packetId);
// Hands an RPC's parameters to every registered incoming-RPC hook.
HOSTAPI bool deliverRpc(int rpcId, const unsigned char *data, uint32_t bitCount);
// Calls the handler registered under `name` with `args`; false if none.
HOSTAPI bool typeCommand(const std::string &name, const std::string &args);

// Forgets the plugin's main loop, hooks and commands: done before the
// plugin is unloaded, so nothing points into freed code.
HOSTAPI void forgetPlugin();

// ---- Platform hooks for the plugin's imports ----

// The clock the plugin's GetTickCount reads.
HOSTAPI DWORD WINAPI pluginTickCount();
// Writes through the real profile function and records the write.
HOSTAPI BOOL WINAPI recordingWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                        LPCSTR path);
HOSTAPI void recordProfileWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR path, bool ok);

} // namespace host
