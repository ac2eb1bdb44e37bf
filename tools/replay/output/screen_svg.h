// The screen as the player saw it at the end of a session, as an SVG
// picture: the key column where the plugin last drew it and the last chat
// lines in the game's chat area.
#pragma once

#include "output.h"

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

// Keeps the screen as it stands at the end of a run.
class ScreenOutput final : public Output {
  public:
    void effect(const host::Effect &effect, const Place & /*place*/) override {
        if (const auto *chat = std::get_if<host::ChatLine>(&effect))
            noteChat(screen, *chat);
    }
    void pass(const std::vector<host::TextDrawn> &labels, const Place & /*place*/) override {
        screen.labels = labels;
    }
    void finish(const RunEnd &end) override {
        screen.width = end.width;
        screen.height = end.height;
        screen.fontHeight = end.fontHeight;
    }

    Screen screen;
};

// The picture, the same bytes on every platform.
std::string svgOfScreen(const Screen &screen);

} // namespace replay
