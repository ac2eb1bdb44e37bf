// Key colours: worked out once per sync packet of the spectated player, so
// that the render path only reads them.
#include "overlay/overlay.h"

// Slot i shows the key whose mask is keyMasks[i].
static const uint16_t keyMasks[8] = {0x0001, 0x0002, 0x0004, 0x0008,
                                     0x0010, 0x0020, 0x0080, 0x0400};

D3DCOLOR keyColours[8] = {keyReleasedColour, keyReleasedColour, keyReleasedColour,
                          keyReleasedColour, keyReleasedColour, keyReleasedColour,
                          keyReleasedColour, keyReleasedColour};

void updateKeyColours(uint16_t keys) {
    for (int slot = 0; slot < 8; slot++)
        keyColours[slot] = (keys & keyMasks[slot]) ? keyPressedColour : keyReleasedColour;
}
