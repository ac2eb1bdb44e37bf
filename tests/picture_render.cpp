#include "picture_render.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

Rgb Image::at(int x, int y) const {
    size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

int Image::count(int x0, int y0, int x1, int y1, Rgb colour, int tolerance) const {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, height); y++)
        for (int x = std::max(x0, 0); x < std::min(x1, width); x++) {
            Rgb p = at(x, y);
            if (std::abs(p.r - colour.r) <= tolerance && std::abs(p.g - colour.g) <= tolerance &&
                std::abs(p.b - colour.b) <= tolerance)
                n++;
        }
    return n;
}

Image rendered(const std::string &svg) {
    Image image;
    fs::path dir =
        fs::temp_directory_path() / ("norvi-picture-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    std::ofstream(dir / "in.svg", std::ios::binary) << svg;
    std::string command = "rsvg-convert -f png -o '" + (dir / "out.png").string() + "' '" +
                          (dir / "in.svg").string() + "' 2>'" + (dir / "err").string() + "'";
    if (std::system(command.c_str()) != 0) {
        std::ifstream err(dir / "err");
        std::getline(err, image.error);
        image.error = "rsvg-convert failed: " + image.error;
    } else {
        png_image png = {};
        png.version = PNG_IMAGE_VERSION;
        if (png_image_begin_read_from_file(&png, (dir / "out.png").c_str()) != 0) {
            png.format = PNG_FORMAT_RGBA;
            image.width = static_cast<int>(png.width);
            image.height = static_cast<int>(png.height);
            image.rgba.resize(PNG_IMAGE_SIZE(png));
            if (png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) == 0)
                image.error = png.message;
        } else {
            image.error = png.message;
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return image;
}
