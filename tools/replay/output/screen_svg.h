// The screen as the player saw it at the end of a session, as an SVG
// picture: the key column where the plugin last drew it and the last chat
// lines in the game's chat area.
#pragma once

#include "host.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace replay {

// A chat line as the game shows it. `text` is Windows-1251 with its
// {RRGGBB} tags kept; `colour` is the 0xAARRGGBB the line was posted with.
// The picture draws every line opaque: the plugin posts its lines with
// opacity 0 and means them to be read.
struct ChatShown {
    std::string text;
    uint32_t colour;
};

struct Screen {
    std::vector<host::TextDrawn> labels; // the last render pass that drew anything
    std::deque<ChatShown> chat;          // the last ten chat lines, oldest first
    int width = 1920, height = 1080;     // screen size in force at the end
    float fontHeight = 14.0f;            // the overlay font's line height
};

// Adds a posted line, keeping the last ten.
void noteChat(Screen &screen, const host::ChatLine &line);

// The picture, the same bytes on every platform.
std::string svgOfScreen(const Screen &screen);

} // namespace replay
