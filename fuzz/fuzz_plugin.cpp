#include "fuzz_plugin.h"

#include "core/plugin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

void startPluginOnce() {
    static bool attached = false;
    if (attached)
        return;
    attached = true;
    host::reset();
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    host::runFrame();
    FUZZ_CHECK(started);
    host::clearEffects();
}
