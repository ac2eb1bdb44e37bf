// Helpers shared by the overlay, position file and position-setting tests:
// spectating through RPC 126, reading back one frame's key column, and the
// position file as it stands on disk.
#pragma once

#include "plugin_fixture.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace overlay {

inline void spectate(uint16_t player) {
    unsigned char id[2] = {static_cast<unsigned char>(player),
                           static_cast<unsigned char>(player >> 8)};
    host::deliverRpc(126, id, 16);
}

inline void stopSpectating() {
    unsigned char zero[4] = {0, 0, 0, 0};
    host::deliverRpc(124, zero, 32);
}

// The text drawn by one frame, in the order it was drawn.
inline std::vector<host::TextDrawn> drawFrame() {
    host::clearEffects();
    host::runFrame();
    std::vector<host::TextDrawn> rows;
    for (const host::Effect &e : host::effects())
        if (const auto *row = std::get_if<host::TextDrawn>(&e))
            rows.push_back(*row);
    return rows;
}

struct Place {
    float x, y;
};

// Where one frame draws the key column; spectates player 1 to see it.
inline Place drawnPlace() {
    spectate(1);
    std::vector<host::TextDrawn> rows = drawFrame();
    EXPECT_EQ(rows.size(), 8u);
    return rows.empty() ? Place{NAN, NAN} : Place{rows[0].x, rows[0].y};
}

inline uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline std::filesystem::path positionFile(const std::filesystem::path &gameDir) {
    return gameDir / "SAMPFUNCS" / "norvi_warnings.ini";
}

inline std::string readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A position file as a user or an older version may have left it.
inline void writePositionFile(const std::filesystem::path &gameDir, const std::string &body) {
    std::ofstream out(positionFile(gameDir), std::ios::binary | std::ios::trunc);
    out << body;
}

// Colours of the eight rows, top to bottom.
const D3DCOLOR green = 0xFF44FF44;
const D3DCOLOR red = 0xFFFF4444;

} // namespace overlay
