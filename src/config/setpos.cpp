// The position-setting mode. The command only arms it; the main loop's
// frames show the cursor, make the key column follow it, and end the mode
// on a left click, which stores the column's place in the position file.
#include "config/setpos.h"

#include "config/position.h"
#include "core/plugin.h"
#include "net/net.h"

bool cursorShown = false;

static const int leftMouseButton = 1; // virtual-key code

// "[norvi warnings]: {BEBEBE}нужно выйти из режима наблюдения"
// (spectator mode has to be left first)
static const char refusalText[] = "[norvi warnings]: {BEBEBE}"
                                  "\xED\xF3\xE6\xED\xEE "                     // нужно
                                  "\xE2\xFB\xE9\xF2\xE8 "                     // выйти
                                  "\xE8\xE7 "                                 // из
                                  "\xF0\xE5\xE6\xE8\xEC\xE0 "                 // режима
                                  "\xED\xE0\xE1\xEB\xFE\xE4\xE5\xED\xE8\xFF"; // наблюдения
static const D3DCOLOR refusalColour = 0x00FF2B2B;

void CALLBACK onSetposCommand(std::string) {
    if (!spectating(spectateTarget)) {
        // The cursor is shown by the mode's first frame, not here.
        setposActive = true;
        return;
    }
    SF->getSAMP()->getChat()->AddChatMessage(refusalColour, refusalText);
}

void setposFrame() {
    if (!cursorShown) {
        SF->getSAMP()->getMisc()->ToggleCursor(true);
        cursorShown = true;
    }

    // The click is tested before this frame's move, so the place stored is
    // where the column stood after the previous frame.
    if (SF->getGame()->isKeyPressed(leftMouseButton)) {
        saveOverlayPosition();
        SF->getSAMP()->getMisc()->ToggleCursor(false);
        cursorShown = false;
        setposActive = false;
    }

    // The column follows the cursor on every frame of the mode, the
    // clicking one included.
    overlayX = static_cast<float>(SF->getGame()->getCursorPos().x);
    overlayY = static_cast<float>(SF->getGame()->getCursorPos().y);
}
