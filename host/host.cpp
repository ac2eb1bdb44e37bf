// The stand-in host: the framework's facades backed by one scene that tests
// and tools set, and a log of every effect the plugin has on it.
#include "host.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace {

struct Player {
    std::optional<std::string> name;
    D3DCOLOR colour = 0xFFFFFFFF;
};

// A static object, never deleted through a CGame pointer.
struct RunningGame final : CGame { // NOLINT(cppcoreguidelines-virtual-class-destructor)
    int state = 9;
    int GetSystemState() override { return state; }
};

struct Scene {
    std::optional<int> gameState = 9;
    bool sampInitialized = true;
    DWORD tick = 1000000;
    std::map<int, Player> players;
    int screenWidth = 1920, screenHeight = 1080;
    int cursorX = 0, cursorY = 0;
    bool leftButton = false;
    bool menuActive = false;
    bool canDraw = true;
    int beginRenderResult = 0;
    float fontHeight = 14.0f;
    bool fontCreationFails = false;
};

struct Plugin {
    PluginMainLoop mainLoop = nullptr;
    D3DPresentHook renderHook = nullptr;
    std::vector<RakNetScriptHookCallback_t> packetHooks, rpcHooks;
    std::map<std::string, CMDPROC> commands;
};

Scene scene;
Plugin plugin;
std::vector<host::Effect> effectList;
host::CallCounts counts;
host::HookReturns returns[3]; // by host::Hook
int renderPass = 0;

RunningGame runningGame;
SFSAMP samp;
SFGame game;
SFRender render;
SFRakNet rakNet;
stChatInfo chat;
stPlayerPool playerPool;
stMiscInfo misc;
// Fonts are never freed by their owner, so the host keeps them for good.
std::vector<stFontInfo *> fonts;

void publishGame() {
    runningGame.state = scene.gameState.value_or(0);
    GAME = scene.gameState ? &runningGame : nullptr;
}

std::string hex8(uint32_t v) {
    char text[9];
    (void)std::snprintf(text, sizeof text, "%08X", v); // always 8 digits
    return text;
}

void recordReturn(host::Hook hook, bool returned) {
    host::HookReturns &r = returns[static_cast<int>(hook)];
    (returned ? r.returnedTrue : r.returnedFalse)++;
}

void callRenderHook() {
    renderPass++;
    recordReturn(host::Hook::render, plugin.renderHook(nullptr, nullptr, nullptr, nullptr));
}

std::string number(float v) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v)); // fits
    return text;
}

} // namespace

CGame *GAME = &runningGame;

// ---- The framework's facades ----

SAMPFUNCS::SAMPFUNCS() : module_(nullptr) {}
bool SAMPFUNCS::initPlugin(PluginMainLoop mainLoop, HMODULE module) {
    module_ = module;
    plugin.mainLoop = mainLoop;
    return true;
}
SFSAMP *SAMPFUNCS::getSAMP() { return &samp; }
SFGame *SAMPFUNCS::getGame() { return &game; }
SFRender *SAMPFUNCS::getRender() { return &render; }
SFRakNet *SAMPFUNCS::getRakNet() { return &rakNet; }

bool SFGame::isGTAMenuActive() { return scene.menuActive; }
bool SFGame::isKeyPressed(int virtualKey) {
    counts.isKeyPressed++;
    return virtualKey == 1 && scene.leftButton;
}
tagPOINT SFGame::getCursorPos() {
    counts.getCursorPos++;
    tagPOINT p;
    p.x = scene.cursorX;
    p.y = scene.cursorY;
    return p;
}
void SFGame::convertWindowCoordsToGame(float x, float y, float *gameX, float *gameY) {
    host::windowToGame(x, y, gameX, gameY);
}
void SFGame::convertGameCoordsToWindow(float gameX, float gameY, float *x, float *y) {
    host::gameToWindow(gameX, gameY, x, y);
}

void stChatInfo::AddChatMessage(D3DCOLOR colour, const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        (void)std::vsnprintf(text.data(), text.size() + 1, format, again); // sized above
    va_end(again);
    effectList.push_back(host::ChatLine{colour, text});
}

const char *stPlayerPool::GetPlayerName(int playerId) {
    auto it = scene.players.find(playerId);
    if (it == scene.players.end() || !it->second.name)
        return nullptr;
    return it->second.name->c_str();
}
D3DCOLOR stPlayerPool::GetPlayerColor(int playerId) {
    auto it = scene.players.find(playerId);
    return it == scene.players.end() ? 0xFFFFFFFF : it->second.colour;
}

void stMiscInfo::ToggleCursor(bool shown) { effectList.push_back(host::CursorToggled{shown}); }

bool SFSAMP::IsInitialized() { return scene.sampInitialized; }
stChatInfo *SFSAMP::getChat() { return &chat; }
stPlayerPool *SFSAMP::getPlayers() { return &playerPool; }
stMiscInfo *SFSAMP::getMisc() { return &misc; }
bool SFSAMP::registerChatCommand(std::string name, CMDPROC handler) {
    effectList.push_back(host::CommandRegistered{name});
    plugin.commands[name] = handler;
    return true;
}

float stFontInfo::DrawHeight() {
    counts.drawHeight++;
    return scene.fontHeight;
}
bool stFontInfo::PrintShadow(const char *text, D3DCOLOR colour, float x, float y, bool option1,
                             bool option2, rect<float> clip) {
    effectList.push_back(host::TextDrawn{text, colour, x, y, option1, option2, clip, renderPass});
    return true;
}

stFontInfo *SFRender::CreateNewFont(const char *face, int size, int flags) {
    effectList.push_back(host::FontCreated{face, size, flags});
    if (scene.fontCreationFails)
        return nullptr;
    fonts.push_back(new stFontInfo);
    return fonts.back();
}
bool SFRender::registerD3DCallback(eDirect3DDeviceMethods method, D3DPresentHook hook) {
    effectList.push_back(host::D3DHookRegistered{method});
    if (method == D3DMETHOD_PRESENT)
        plugin.renderHook = hook;
    return true;
}
int SFRender::BeginRender() {
    counts.beginRender++;
    return scene.beginRenderResult;
}
bool SFRender::EndRender() {
    counts.endRender++;
    return true;
}
bool SFRender::CanDraw() { return scene.canDraw; }
void SFRender::ARGB_To_A_R_G_B(D3DCOLOR argb, BYTE &a, BYTE &r, BYTE &g, BYTE &b) {
    a = static_cast<BYTE>(argb >> 24);
    r = static_cast<BYTE>(argb >> 16);
    g = static_cast<BYTE>(argb >> 8);
    b = static_cast<BYTE>(argb);
}

bool SFRakNet::registerRakNetCallback(RakNetScriptHookType type, RakNetScriptHookCallback_t hook) {
    effectList.push_back(host::RakNetHookRegistered{type});
    if (type == RAKHOOK_TYPE_INCOMING_PACKET)
        plugin.packetHooks.push_back(hook);
    else if (type == RAKHOOK_TYPE_INCOMING_RPC)
        plugin.rpcHooks.push_back(hook);
    return true;
}

// ---- The control surface ----

namespace host {

const std::vector<Effect> &effects() { return effectList; }
void clearEffects() {
    effectList.clear();
    for (HookReturns &r : returns)
        r = HookReturns{};
}

std::string describe(const Effect &effect) {
    struct Describe {
        std::string operator()(const ChatLine &e) {
            return "chat " + hex8(e.colour) + " " + e.text;
        }
        std::string operator()(const FontCreated &e) {
            return "font " + e.face + " " + std::to_string(e.size) + " " + std::to_string(e.flags);
        }
        std::string operator()(const CommandRegistered &e) { return "command " + e.name; }
        std::string operator()(const D3DHookRegistered &e) {
            return "d3d " + std::to_string(e.method);
        }
        std::string operator()(const RakNetHookRegistered &e) {
            return "raknet " + std::to_string(e.type);
        }
        std::string operator()(const CursorToggled &e) {
            return std::string("cursor ") + (e.shown ? "shown" : "hidden");
        }
        std::string operator()(const TextDrawn &e) {
            return "draw " + e.text + " " + hex8(e.colour) + " " + number(e.x) + " " + number(e.y);
        }
        std::string operator()(const ProfileWritten &e) {
            return "profile [" + e.section + "] " + e.key + "=" + e.value +
                   (e.ok ? "" : " (failed)");
        }
    };
    return std::visit(Describe{}, effect);
}

std::vector<std::string> effectLog() {
    std::vector<std::string> lines;
    lines.reserve(effectList.size());
    for (const Effect &e : effectList)
        lines.push_back(describe(e));
    return lines;
}

const CallCounts &callCounts() { return counts; }
HookReturns hookReturns(Hook hook) { return returns[static_cast<int>(hook)]; }

void reset() {
    scene = Scene{};
    publishGame();
    forgetPlugin();
    clearEffects();
    counts = CallCounts{};
    renderPass = 0;
}

void setGameState(std::optional<int> state) {
    scene.gameState = state;
    publishGame();
}
void setSampInitialized(bool initialized) { scene.sampInitialized = initialized; }
void setTick(DWORD t) { scene.tick = t; }
void advanceTick(DWORD ms) { scene.tick += ms; }
DWORD tick() { return scene.tick; }
void setPlayer(int playerId, std::optional<std::string> name, D3DCOLOR colour) {
    scene.players[playerId] = Player{std::move(name), colour};
}
void setScreen(int width, int height) {
    scene.screenWidth = width;
    scene.screenHeight = height;
}
void setCursor(int x, int y) {
    scene.cursorX = x;
    scene.cursorY = y;
}
void setLeftButton(bool pressed) { scene.leftButton = pressed; }
void setMenuActive(bool active) { scene.menuActive = active; }
void setCanDraw(bool canDraw) { scene.canDraw = canDraw; }
void setBeginRenderResult(int result) { scene.beginRenderResult = result; }
void setFontHeight(float height) { scene.fontHeight = height; }
void setFontCreationFails(bool fails) { scene.fontCreationFails = fails; }

void gameToWindow(float gameX, float gameY, float *x, float *y) {
    *x = gameX * (static_cast<float>(scene.screenWidth) / 640.0f);
    *y = gameY * (static_cast<float>(scene.screenHeight) / 448.0f);
}
void windowToGame(float x, float y, float *gameX, float *gameY) {
    *gameX = x * (640.0f / static_cast<float>(scene.screenWidth));
    *gameY = y * (448.0f / static_cast<float>(scene.screenHeight));
}

void runFrame() {
    if (plugin.mainLoop)
        plugin.mainLoop();
    if (plugin.renderHook)
        callRenderHook();
}
void runFrames(int count) {
    for (int i = 0; i < count; i++)
        runFrame();
}
void runMainLoop() {
    if (plugin.mainLoop)
        plugin.mainLoop();
}
void runRenderHook() {
    if (plugin.renderHook)
        callRenderHook();
}
bool hasMainLoop() { return plugin.mainLoop != nullptr; }
bool hasRenderHook() { return plugin.renderHook != nullptr; }

static bool deliver(Hook kind, const std::vector<RakNetScriptHookCallback_t> &hooks, int id,
                    const unsigned char *data, uint32_t bitCount) {
    bool allTrue = true;
    for (RakNetScriptHookCallback_t hook : hooks) {
        BitStream stream(data, bitCount);
        stRakNetHookParams params{&stream, id};
        bool returned = hook(&params);
        recordReturn(kind, returned);
        allTrue = returned && allTrue;
    }
    return allTrue;
}
bool deliverPacket(const unsigned char *data, uint32_t bitCount, int packetId) {
    return deliver(Hook::packet, plugin.packetHooks, packetId, data, bitCount);
}
bool deliverRpc(int rpcId, const unsigned char *data, uint32_t bitCount) {
    return deliver(Hook::rpc, plugin.rpcHooks, rpcId, data, bitCount);
}
bool typeCommand(const std::string &name, const std::string &args) {
    auto it = plugin.commands.find(name);
    if (it == plugin.commands.end())
        return false;
    it->second(args);
    return true;
}

void forgetPlugin() { plugin = Plugin{}; }

DWORD WINAPI pluginTickCount() { return scene.tick; }

void recordProfileWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR path, bool ok) {
    effectList.push_back(ProfileWritten{section ? section : "", key ? key : "", value ? value : "",
                                        path ? path : "", ok});
}

#if defined(_WIN32)
BOOL WINAPI recordingWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                LPCSTR path) {
    BOOL ok = WritePrivateProfileStringA(section, key, value, path);
    recordProfileWrite(section, key, value, path, ok != FALSE);
    return ok;
}
#else
// The native profile functions record their writes themselves.
BOOL WINAPI recordingWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                LPCSTR path) {
    return WritePrivateProfileStringA(section, key, value, path);
}
#endif

} // namespace host
