#include "screen_svg.h"

#include "svg_write.h"

namespace replay {

namespace {

const size_t chatLinesShown = 10;

// The chat area: ten lines at the top left, filled from the bottom line up
// as the game does, so the newest line is always the lowest.
const double chatLeft = 30, chatTop = 10;
const double chatFontSize = 18, chatLineHeight = 22;

// Text is placed by its baseline, a fixed share of the line below the
// line's top, so that every renderer puts it in the same place.
double baselineOf(double top, double lineHeight) { return top + 0.8 * lineHeight; }

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A colour tag, "{RRGGBB}", at `at`.
bool tagAt(const std::string &text, size_t at) {
    if (at + 8 > text.size() || text[at] != '{' || text[at + 7] != '}')
        return false;
    for (size_t i = at + 1; i < at + 7; i++)
        if (!isHex(text[i]))
            return false;
    return true;
}

uint32_t tagColour(const std::string &text, size_t at) {
    return static_cast<uint32_t>(std::stoul(text.substr(at + 1, 6), nullptr, 16));
}

// The line without its tags: what the shadow draws.
std::string untagged(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (tagAt(text, i)) {
            i += 8;
            continue;
        }
        out += text[i++];
    }
    return out;
}

// The line as pieces of one colour each: the posted colour up to the first
// tag, each tag's colour after it.
std::string colouredPieces(const ChatShown &line) {
    std::string out;
    uint32_t colour = line.colour;
    size_t start = 0;
    auto piece = [&](size_t end) {
        if (end > start)
            out += "<tspan fill=\"" + svgColour(colour) + "\">" +
                   xmlText(std::string_view(line.text).substr(start, end - start)) + "</tspan>";
    };
    for (size_t i = 0; i < line.text.size();) {
        if (!tagAt(line.text, i)) {
            i++;
            continue;
        }
        piece(i);
        colour = tagColour(line.text, i);
        i += 8;
        start = i;
    }
    piece(line.text.size());
    return out;
}

void addChat(std::string &svg, const Screen &screen) {
    if (screen.chat.empty())
        return;
    svg += "  <g font-family=\"Arial, Helvetica, sans-serif\" font-weight=\"bold\" font-size=\"" +
           svgNumber(chatFontSize) + "\" xml:space=\"preserve\">\n";
    size_t first = screen.chat.size() > chatLinesShown ? screen.chat.size() - chatLinesShown : 0;
    size_t shown = screen.chat.size() - first;
    for (size_t i = first; i < screen.chat.size(); i++) {
        const ChatShown &line = screen.chat[i];
        size_t slot = chatLinesShown - shown + (i - first);
        double y = baselineOf(chatTop + static_cast<double>(slot) * chatLineHeight, chatLineHeight);
        svg += "    <text x=\"" + svgNumber(chatLeft + 1) + "\" y=\"" + svgNumber(y + 1) +
               "\" fill=\"#000000\">" + xmlText(untagged(line.text)) + "</text>\n";
        svg += "    <text x=\"" + svgNumber(chatLeft) + "\" y=\"" + svgNumber(y) + "\">" +
               colouredPieces(line) + "</text>\n";
    }
    svg += "  </g>\n";
}

// Each label's top-left corner is where the plugin put it; its shadow is
// the same text one pixel down and right, in near-black, drawn first.
void addLabels(std::string &svg, const Screen &screen) {
    if (screen.labels.empty())
        return;
    // A line height no font can have (zero, negative, not a number, past
    // the screen) would make the picture unreadable: the default stands in.
    double lineHeight = screen.fontHeight > 0 && screen.fontHeight < 10000 ? screen.fontHeight : 14;
    svg += "  <g font-family=\"Arial, Helvetica, sans-serif\" font-size=\"" +
           svgNumber(lineHeight) + "\" xml:space=\"preserve\">\n";
    for (const host::TextDrawn &t : screen.labels) {
        std::string text = xmlText(t.text);
        uint32_t alpha = t.colour >> 24;
        std::string opacity =
            alpha < 255 ? " fill-opacity=\"" + svgNumber(alpha / 255.0) + "\"" : std::string();
        double y = baselineOf(t.y, lineHeight);
        svg += "    <text x=\"" + svgNumber(t.x + 1.0) + "\" y=\"" + svgNumber(y + 1) +
               "\" fill=\"#101010\"";
        svg += opacity;
        svg += ">" + text + "</text>\n";
        svg += "    <text x=\"" + svgNumber(t.x) + "\" y=\"" + svgNumber(y) + "\" fill=\"" +
               svgColour(t.colour) + "\"";
        svg += opacity;
        svg += ">" + text + "</text>\n";
    }
    svg += "  </g>\n";
}

} // namespace

void noteChat(Screen &screen, const host::ChatLine &line) {
    screen.chat.push_back({line.text, line.colour});
    while (screen.chat.size() > chatLinesShown)
        screen.chat.pop_front();
}

std::string svgOfScreen(const Screen &screen) {
    // A screen size the picture cannot use gives the default one.
    int width = screen.width > 0 ? screen.width : 1920;
    int height = screen.height > 0 ? screen.height : 1080;
    std::string w = std::to_string(width), h = std::to_string(height);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" +
                      h + "\" viewBox=\"0 0 " + w + " " + h + "\">\n";
    svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#5A6B7A\"/>\n";
    addChat(svg, screen);
    addLabels(svg, screen);
    svg += "</svg>\n";
    return svg;
}

} // namespace replay
