// Start-up on arbitrary position-file contents, then the position-setting
// command, a few frames of cursor movement and a click.
// Invariants: start-up always finishes; after it, and after every frame of
// the mode, the overlay's place is finite; the click writes key_x, then
// key_y, both as "%f" text.
#include "fuzz_plugin.h"

#include "config/position.h"
#include "config/setpos.h"
#include "core/plugin.h"
#include "net/net.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

namespace {

void enterGameFolder() {
    static bool entered = false;
    if (entered)
        return;
    entered = true;
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("norvi-fuzz-position-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "SAMPFUNCS");
    std::filesystem::current_path(dir);
}

bool placeFinite() { return std::isfinite(overlayX) && std::isfinite(overlayY); }

bool isFixedText(const std::string &v) {
    size_t point = v.find('.');
    return point != std::string::npos && v.size() - point - 1 == 6 &&
           v.find_first_not_of("-0123456789.") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    enterGameFolder();
    Input in(data, size);
    int width = 1 + in.word() % 8192, height = 1 + in.word() % 8192;
    bool fileExists = in.byte() & 1;
    const uint8_t *text = nullptr;
    size_t length = in.take(size, &text);
    {
        std::filesystem::remove("SAMPFUNCS/norvi_warnings.ini");
        if (fileExists) {
            std::ofstream file("SAMPFUNCS/norvi_warnings.ini", std::ios::binary);
            file.write(reinterpret_cast<const char *>(text), static_cast<std::streamsize>(length));
        }
    }

    // A fresh start of the plugin, as after loading it anew.
    host::reset();
    host::setScreen(width, height);
    started = false;
    setposActive = false;
    cursorShown = false;
    overlayX = overlayY = 0.0f;
    spectateTarget = -1;
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    host::runFrame();
    FUZZ_CHECK(started);
    FUZZ_CHECK(placeFinite());

    host::typeCommand("norvi_setpos", "");
    for (int frame = 0; frame < 3; frame++) {
        host::setCursor(static_cast<int32_t>(in.dword()), static_cast<int32_t>(in.dword()));
        host::runFrame();
        FUZZ_CHECK(placeFinite());
    }
    host::clearEffects();
    host::setLeftButton(true);
    host::runFrame();
    FUZZ_CHECK(!setposActive);
    std::vector<std::string> writes;
    for (const host::Effect &e : host::effects())
        if (const auto *w = std::get_if<host::ProfileWritten>(&e)) {
            FUZZ_CHECK(w->section == "key_pos");
            FUZZ_CHECK(isFixedText(w->value));
            writes.push_back(w->key);
        }
    FUZZ_CHECK(writes.size() == 2 && writes[0] == "key_x" && writes[1] == "key_y");
    return 0;
}
