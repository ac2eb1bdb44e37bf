#include "transcript.h"

#include "cp1251.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <cmath>

namespace replay {

namespace {

std::string hex8(uint32_t v) {
    char text[9];
    (void)std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

// A JSON string of Windows-1251 text.
std::string jsonText(const std::string &cp1251) {
    return nlohmann::json(utf8FromCp1251(cp1251)).dump();
}

// A float for JSON, which has no infinities or NaN: those become null.
std::string jsonNumber(float value) { return std::isfinite(value) ? floatText(value) : "null"; }

// ---- jsonl ----

class Jsonl final : public Transcript {
  public:
    using Transcript::Transcript;

    void effect(const host::Effect &effect) override {
        std::visit([this](const auto &e) { write(e); }, effect);
        lineDone();
    }
    void pass(const std::vector<host::TextDrawn> &labels) override {
        buffer_ += "{\"draw\": [";
        for (size_t i = 0; i < labels.size(); i++) {
            const host::TextDrawn &t = labels[i];
            buffer_ += (i ? ", [" : "[") + jsonText(t.text) + ", \"" + hex8(t.colour) + "\", " +
                       jsonNumber(t.x) + ", " + jsonNumber(t.y) + "]";
        }
        buffer_ += "]}\n";
        lineDone();
    }

  private:
    void write(const host::ChatLine &e) {
        buffer_ += "{\"chat\": " + jsonText(e.text) + ", \"color\": \"" + hex8(e.colour) + "\"}\n";
    }
    void write(const host::FontCreated &e) {
        buffer_ += "{\"font\": [" + jsonText(e.face) + ", " + std::to_string(e.size) + ", " +
                   std::to_string(e.flags) + "]}\n";
    }
    void write(const host::CommandRegistered &e) {
        buffer_ += "{\"registered\": \"command\", \"name\": " + jsonText(e.name) + "}\n";
    }
    void write(const host::D3DHookRegistered &e) {
        buffer_ += "{\"registered\": \"d3d\", \"method\": " + std::to_string(e.method) + "}\n";
    }
    void write(const host::RakNetHookRegistered &e) {
        buffer_ += "{\"registered\": \"raknet\", \"type\": " + std::to_string(e.type) + "}\n";
    }
    void write(const host::CursorToggled &e) {
        buffer_ += std::string("{\"cursor\": ") + (e.shown ? "true" : "false") + "}\n";
    }
    void write(const host::ProfileWritten &e) {
        buffer_ += "{\"profile\": [" + jsonText(e.section) + ", " + jsonText(e.key) + ", " +
                   jsonText(e.value) + "]}\n";
    }
    void write(const host::TextDrawn &) {} // passes come whole through pass()
};

// ---- text ----

// Text for a terminal: control characters, which a name in a recorded
// session might carry to move the cursor or recolour the screen, are shown
// as '?' instead of being obeyed.
std::string shown(const std::string &cp1251) {
    std::string text = utf8FromCp1251(cp1251);
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

class Text final : public Transcript {
  public:
    Text(std::FILE *out, bool colours) : Transcript(out), colours_(colours) {}

    void effect(const host::Effect &effect) override {
        std::visit([this](const auto &e) { write(e); }, effect);
        lineDone();
    }
    // A pass like the one before it adds nothing for a reader: the key
    // column is drawn again every frame.
    void pass(const std::vector<host::TextDrawn> &labels) override {
        if (samePass(labels, lastPass_))
            return;
        lastPass_ = labels;
        buffer_ += "keys      ";
        for (size_t i = 0; i < labels.size(); i++) {
            if (i)
                buffer_ += colours_ ? " " : "  ";
            std::string text = shown(labels[i].text);
            uint32_t rgb = labels[i].colour & 0xFFFFFF;
            if (colours_)
                buffer_ += ansi(rgb) + text + reset;
            else
                buffer_ += text + " #" + hex8(rgb).substr(2);
        }
        buffer_ += "  at " + floatText(labels[0].x) + ", " + floatText(labels[0].y) + "\n";
        lineDone();
    }

  private:
    static constexpr const char *reset = "\x1b[0m";
    bool colours_;
    std::vector<host::TextDrawn> lastPass_;

    static bool samePass(const std::vector<host::TextDrawn> &a,
                         const std::vector<host::TextDrawn> &b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); i++)
            if (a[i].text != b[i].text || a[i].colour != b[i].colour || a[i].x != b[i].x ||
                a[i].y != b[i].y)
                return false;
        return true;
    }

    static std::string ansi(uint32_t rgb) {
        return "\x1b[38;2;" + std::to_string(rgb >> 16) + ";" + std::to_string((rgb >> 8) & 0xFF) +
               ";" + std::to_string(rgb & 0xFF) + "m";
    }

    static bool isColourTag(const std::string &s, size_t i) {
        if (i + 8 > s.size() || s[i] != '{' || s[i + 7] != '}')
            return false;
        for (size_t k = i + 1; k < i + 7; k++)
            if (!std::isxdigit(static_cast<unsigned char>(s[k])))
                return false;
        return true;
    }

    // The chat line as the game shows it: each {RRGGBB} tag switches the
    // colour of the text after it and is not shown itself.
    void write(const host::ChatLine &e) {
        std::string text = shown(e.text);
        buffer_ += "chat      ";
        if (colours_)
            buffer_ += ansi(e.colour & 0xFFFFFF);
        for (size_t i = 0; i < text.size();) {
            if (isColourTag(text, i)) {
                if (colours_)
                    buffer_ +=
                        ansi(static_cast<uint32_t>(std::stoul(text.substr(i + 1, 6), nullptr, 16)));
                i += 8;
            } else {
                buffer_ += text[i++];
            }
        }
        buffer_ += colours_ ? std::string(reset) + "\n" : "\n";
    }
    void write(const host::FontCreated &e) {
        buffer_ += "font      " + shown(e.face) + ", size " + std::to_string(e.size) + ", flags " +
                   std::to_string(e.flags) + "\n";
    }
    void write(const host::CommandRegistered &e) {
        buffer_ += "register  command " + shown(e.name) + "\n";
    }
    void write(const host::D3DHookRegistered &e) {
        buffer_ += "register  render hook, device method " + std::to_string(e.method) + "\n";
    }
    void write(const host::RakNetHookRegistered &e) {
        buffer_ += "register  network hook, type " + std::to_string(e.type) + "\n";
    }
    void write(const host::CursorToggled &e) {
        buffer_ += std::string("cursor    ") + (e.shown ? "shown" : "hidden") + "\n";
    }
    void write(const host::ProfileWritten &e) {
        buffer_ += "profile   [" + shown(e.section) + "] " + shown(e.key) + "=" + shown(e.value) +
                   (e.ok ? "" : " (the write failed)") + "\n";
    }
    void write(const host::TextDrawn &) {}
};

} // namespace

Transcript::~Transcript() = default;

void Transcript::lineDone() {
    if (buffer_.size() >= 1 << 16)
        flush();
}

void Transcript::flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size() ||
        std::fflush(out_) != 0)
        failed_ = true;
    buffer_.clear();
}

std::string floatText(float value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::unique_ptr<Transcript> jsonlTranscript(std::FILE *out) { return std::make_unique<Jsonl>(out); }

std::unique_ptr<Transcript> textTranscript(std::FILE *out, bool colours) {
    return std::make_unique<Text>(out, colours);
}

} // namespace replay
