// Draws the key column from the render hook while a player is spectated or
// the position-setting mode is on. Per frame it only reads the colours that
// the packet hook worked out.
#include "overlay/overlay.h"

#include "config/position.h"
#include "core/plugin.h"
#include "net/net.h"

static bool overlayVisible() {
    if (!SF->getRender()->CanDraw())
        return false;
    if (SF->getGame()->isGTAMenuActive())
        return false;
    return spectating(spectateTarget) || setposActive;
}

static void drawKeyColumn() {
    const rect<float> noClip = {0.0f, 0.0f, 0.0f, 0.0f};
    float y = overlayY;
    for (int row = 0; row < 8; row++) {
        // Rows stand one pixel further apart than the font's line height.
        if (row > 0)
            y += overlayFont->DrawHeight() + 1.0f;
        overlayFont->PrintShadow(keyRows[row].label, keyColours[keyRows[row].slot], overlayX, y,
                                 false, false, noClip);
    }
}

bool CALLBACK onRender(CONST RECT *, CONST RECT *, HWND, CONST RGNDATA *) {
    if (SF->getRender()->BeginRender() < 0)
        return true;
    // Without a font there is nothing to draw with.
    if (overlayVisible() && overlayFont != nullptr)
        drawKeyColumn();
    SF->getRender()->EndRender();
    return true;
}
