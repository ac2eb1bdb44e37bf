#include "cp1251.h"

#include <cstdint>

namespace replay {

namespace {

// The characters of bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F
// in order. 0 marks the one byte without a character.
const uint16_t upperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

uint32_t codePointOf(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte >= 0xC0)
        return 0x0410u + (byte - 0xC0u);
    uint16_t c = upperHalf[byte - 0x80];
    return c ? c : 0xFFFDu;
}

void appendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<unsigned char> byteOf(uint32_t c) {
    if (c < 0x80)
        return static_cast<unsigned char>(c);
    if (c >= 0x0410 && c <= 0x044F)
        return static_cast<unsigned char>(0xC0 + (c - 0x0410));
    for (unsigned i = 0; i < 64; i++)
        if (upperHalf[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// Decodes one UTF-8 sequence at `i`, moving `i` past it; nullopt for a
// malformed one.
std::optional<uint32_t> nextCodePoint(std::string_view s, size_t &i) {
    auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80)
        return lead;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || lead > 0xF4 || i + static_cast<size_t>(extra) > s.size())
        return std::nullopt;
    uint32_t c = lead & (0x3Fu >> extra);
    for (int k = 0; k < extra; k++) {
        auto b = static_cast<unsigned char>(s[i++]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (b & 0x3Fu);
    }
    return c;
}

} // namespace

std::string utf8FromCp1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    appendUtf8FromCp1251(out, bytes);
    return out;
}

void appendUtf8FromCp1251(std::string &out, std::string_view bytes) {
    for (char b : bytes)
        appendUtf8(out, codePointOf(static_cast<unsigned char>(b)));
}

std::optional<std::string> cp1251FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        std::optional<uint32_t> c = nextCodePoint(text, i);
        if (!c)
            return std::nullopt;
        std::optional<unsigned char> b = byteOf(*c);
        if (!b)
            return std::nullopt;
        out += static_cast<char>(*b);
    }
    return out;
}

} // namespace replay
