// The key overlay: the spectated player's keys as eight coloured labels.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>

const D3DCOLOR keyPressedColour = 0xFF44FF44;
const D3DCOLOR keyReleasedColour = 0xFFFF4444;

// One row of the key column: its label (Windows-1251) and the slot of
// keyColours whose colour it is drawn in.
struct KeyRow {
    const char *label;
    int slot;
};

// The key column, top to bottom.
inline constexpr KeyRow keyRows[8] = {
    {"\xCB\xCA\xCC", 2}, // "ЛКМ", left mouse button
    {"\xCF\xCA\xCC", 6}, // "ПКМ", right mouse button
    {"C", 1},            // Latin C
    {"SPRINT", 3},
    {"JUMP", 5},
    {"ALT", 7},
    {"TAB", 0},
    {"F", 4},
};

// One colour per displayed key, in the order of the key bits they show.
extern D3DCOLOR keyColours[8];

void updateKeyColours(uint16_t keys);

bool CALLBACK onRender(CONST RECT *sourceRect, CONST RECT *destRect, HWND destWindowOverride,
                       CONST RGNDATA *dirtyRegion);
