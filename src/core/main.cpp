// Library entry, the per-frame main loop and the start-up sequence.
#include "core/plugin.h"

#include "config/position.h"
#include "config/setpos.h"
#include "net/net.h"
#include "overlay/overlay.h"

#if defined(_WIN32)
#define PLUGIN_ENTRY extern "C"
#else
#define PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))
#endif

SAMPFUNCS *SF = new SAMPFUNCS();

bool started = false;
bool setposActive = false;
stFontInfo *overlayFont = nullptr;

static const int gameStatePlaying = 9;

// "{BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: {FF4444}kesmaro"
static const char loadMessage[] =
    "{BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: {FF4444}kesmaro";
static const D3DCOLOR loadMessageColour = 0x00009BCD;

// The game, its facades and the multiplayer client are all usable.
static bool hostReady() {
    if (GAME == nullptr)
        return false;
    if (GAME->GetSystemState() != gameStatePlaying)
        return false;
    return SF->getSAMP()->IsInitialized();
}

static void runStartup() {
    loadOverlayPosition();
    if (overlayFont == nullptr)
        overlayFont = SF->getRender()->CreateNewFont("Tahoma", 11, 5);
    SF->getSAMP()->registerChatCommand("norvi_setpos", onSetposCommand);
    SF->getRender()->registerD3DCallback(D3DMETHOD_PRESENT, onRender);
    SF->getRakNet()->registerRakNetCallback(RAKHOOK_TYPE_INCOMING_PACKET, onIncomingPacket);
    SF->getRakNet()->registerRakNetCallback(RAKHOOK_TYPE_INCOMING_RPC, onIncomingRpc);
    SF->getSAMP()->getChat()->AddChatMessage(loadMessageColour, loadMessage);
    started = true;
}

void CALLBACK mainLoop() {
    if (!started) {
        if (!hostReady())
            return;
        runStartup();
    }
    if (!setposActive)
        return;
    setposFrame();
}

PLUGIN_ENTRY BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH)
        SF->initPlugin(mainLoop, module);
    return TRUE;
}
