#include "trace_writer.h"

#include "cp1251.h"
#include "number_text.h"

#include <cinttypes>
#include <cstdio>

namespace replay {

namespace {

std::string hexOf(const std::vector<unsigned char> &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

// A JSON string of Windows-1251 text; nullopt for byte 0x98.
std::optional<std::string> jsonText(const std::string &cp1251) {
    if (cp1251.find('\x98') != std::string::npos)
        return std::nullopt;
    std::string s = "\"";
    for (char c : utf8FromCp1251(cp1251)) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (u < 0x20) {
            char escape[8];
            (void)std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(u));
            s += escape;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

std::string colourText(uint32_t colour) {
    char c[16];
    (void)std::snprintf(c, sizeof c, "\"%08" PRIX32 "\"", colour);
    return c;
}

const char *boolText(bool b) { return b ? "true" : "false"; }

struct Line {
    using Out = std::optional<std::string>;
    Out operator()(const SetTick &e) { return "{\"tick\": " + std::to_string(e.tick) + "}"; }
    Out operator()(const Advance &e) { return "{\"advance\": " + std::to_string(e.ms) + "}"; }
    Out operator()(const SetGame &e) {
        return "{\"game\": " + (e.state ? std::to_string(*e.state) : std::string("null")) + "}";
    }
    Out operator()(const SetSampReady &e) {
        return std::string("{\"sampReady\": ") + boolText(e.ready) + "}";
    }
    Out operator()(const SetPlayer &e) {
        std::string s = "{\"player\": " + std::to_string(e.id);
        if (e.name) {
            if (!*e.name) {
                s += ", \"name\": null";
            } else {
                Out name = jsonText(**e.name);
                if (!name)
                    return std::nullopt;
                s += ", \"name\": " + *name;
            }
        }
        if (e.colour)
            s += ", \"color\": " + colourText(*e.colour);
        return s + "}";
    }
    Out operator()(const SetScreen &e) {
        return "{\"screen\": [" + std::to_string(e.width) + ", " + std::to_string(e.height) + "]}";
    }
    Out operator()(const SetCursor &e) {
        return "{\"cursor\": [" + std::to_string(e.x) + ", " + std::to_string(e.y) + "]}";
    }
    Out operator()(const SetLeftButton &e) {
        return std::string("{\"lmb\": ") + boolText(e.pressed) + "}";
    }
    Out operator()(const SetMenu &e) {
        return std::string("{\"menu\": ") + boolText(e.active) + "}";
    }
    Out operator()(const SetCanDraw &e) {
        return std::string("{\"canDraw\": ") + boolText(e.canDraw) + "}";
    }
    Out operator()(const SetBeginRender &e) {
        return "{\"beginRender\": " + std::to_string(e.result) + "}";
    }
    Out operator()(const SetFontHeight &e) {
        return "{\"fontHeight\": " + std::string(floatText(e.height).view()) + "}";
    }
    Out operator()(const SetFontFails &e) {
        return std::string("{\"fontFails\": ") + boolText(e.fails) + "}";
    }
    Out operator()(const Frames &e) { return "{\"frame\": " + std::to_string(e.count) + "}"; }
    Out operator()(const Packet &e) {
        std::string s = "{\"packet\": \"" + hexOf(e.bytes) + "\"";
        if (e.bitCount != e.bytes.size() * 8)
            s += ", \"bits\": " + std::to_string(e.bitCount);
        if (e.bytes.empty() || e.id != e.bytes[0])
            s += ", \"id\": " + std::to_string(e.id);
        return s + "}";
    }
    Out operator()(const Rpc &e) {
        std::string s =
            "{\"rpc\": " + std::to_string(e.id) + ", \"data\": \"" + hexOf(e.data) + "\"";
        if (e.bitCount != e.data.size() * 8)
            s += ", \"bits\": " + std::to_string(e.bitCount);
        return s + "}";
    }
    Out operator()(const Sync &) { return std::nullopt; }
    Out operator()(const Spectate &e) {
        return "{\"spectate\": " + (e.player ? std::to_string(*e.player) : std::string("null")) +
               "}";
    }
    Out operator()(const Command &e) {
        Out name = jsonText(e.name), args = jsonText(e.args);
        if (!name || !args)
            return std::nullopt;
        return "{\"command\": " + *name + ", \"args\": " + *args + "}";
    }
};

} // namespace

std::optional<std::string> traceLineOf(const Event &event) { return std::visit(Line{}, event); }

} // namespace replay
