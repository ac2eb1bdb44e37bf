// SVG pictures rendered to pixels with rsvg-convert (librsvg), for tests
// that check where colours land.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
};

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    std::string error; // why rendering failed; empty when it worked

    Rgb at(int x, int y) const;
    // Pixels in [x0, x1) x [y0, y1) within `tolerance` of `colour` in every
    // channel.
    int count(int x0, int y0, int x1, int y1, Rgb colour, int tolerance = 40) const;
};

Image rendered(const std::string &svg);
