#include "svg_write.h"

#include "cp1251.h"

#include <cmath>

namespace replay {

std::string xmlText(std::string_view cp1251) {
    std::string utf8 = utf8FromCp1251(cp1251);
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
            out += control ? '?' : c;
        }
    }
    return out;
}

std::string svgNumber(double value) {
    if (std::isnan(value))
        value = 0;
    const double limit = 1e7;
    value = value > limit ? limit : value < -limit ? -limit : value;
    long long hundredths = std::llround(value * 100);
    bool negative = hundredths < 0;
    if (negative)
        hundredths = -hundredths;
    char text[32];
    size_t n = sizeof text;
    long long fraction = hundredths % 100;
    if (fraction % 10 != 0)
        text[--n] = static_cast<char>('0' + fraction % 10);
    if (fraction != 0) {
        text[--n] = static_cast<char>('0' + fraction / 10);
        text[--n] = '.';
    }
    long long whole = hundredths / 100;
    do {
        text[--n] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (negative)
        text[--n] = '-';
    return std::string(text + n, sizeof text - n);
}

std::string svgColour(uint32_t colour) {
    const char digits[] = "0123456789ABCDEF";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4)
        text += digits[(colour >> shift) & 0xF];
    return text;
}

} // namespace replay
