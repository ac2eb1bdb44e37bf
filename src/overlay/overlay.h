// The key overlay: the spectated player's keys as eight coloured labels.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>

const D3DCOLOR keyPressedColour = 0xFF44FF44;
const D3DCOLOR keyReleasedColour = 0xFFFF4444;

// One colour per displayed key, in the order of the key bits they show.
extern D3DCOLOR keyColours[8];

void updateKeyColours(uint16_t keys);

bool CALLBACK onRender(CONST RECT *sourceRect, CONST RECT *destRect, HWND destWindowOverride,
                       CONST RGNDATA *dirtyRegion);
