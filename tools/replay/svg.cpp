#include "svg.h"

#include "cp1251.h"

#include <cmath>
#include <cstdio>

namespace replay {

namespace {

std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
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
        default:
            out += c;
        }
    }
    return out;
}

std::string number(float v) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%g", std::isfinite(v) ? static_cast<double>(v) : 0.0);
    return text;
}

std::string rgb(uint32_t colour) {
    char text[8];
    (void)std::snprintf(text, sizeof text, "#%06X", colour & 0xFFFFFF);
    return text;
}

} // namespace

// Each label's top-left corner is where the plugin put it; the shadow is the
// same text one pixel down and right, in near-black, drawn first.
std::string svgOf(const Picture &p) {
    std::string w = std::to_string(p.width), h = std::to_string(p.height);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" +
                      h + "\" viewBox=\"0 0 " + w + " " + h + "\">\n";
    svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#5A6B7A\"/>\n";
    svg += "  <g font-family=\"Arial, Helvetica, sans-serif\" font-size=\"" + number(p.fontHeight) +
           "\" dominant-baseline=\"hanging\">\n";
    for (const host::TextDrawn &t : p.labels) {
        std::string text = escaped(utf8FromCp1251(t.text));
        float alpha = static_cast<float>(t.colour >> 24) / 255.0f;
        std::string opacity = alpha < 1.0f ? " fill-opacity=\"" + number(alpha) + "\"" : "";
        // The shadow first, then the label over it.
        svg += "    <text x=\"";
        svg += number(t.x + 1);
        svg += "\" y=\"";
        svg += number(t.y + 1);
        svg += "\" fill=\"#101010\"";
        svg += opacity;
        svg += ">";
        svg += text;
        svg += "</text>\n    <text x=\"";
        svg += number(t.x);
        svg += "\" y=\"";
        svg += number(t.y);
        svg += "\" fill=\"";
        svg += rgb(t.colour);
        svg += "\"";
        svg += opacity;
        svg += ">";
        svg += text;
        svg += "</text>\n";
    }
    svg += "  </g>\n</svg>\n";
    return svg;
}

} // namespace replay
