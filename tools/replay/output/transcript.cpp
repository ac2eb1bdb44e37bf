#include "transcript.h"

#include "cp1251.h"
#include "number_text.h"
#include "summary.h"

#include "overlay/overlay.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace replay {

namespace {

// ---- jsonl ----

class Jsonl final : public Transcript {
  public:
    Jsonl(std::FILE *out, std::string_view originName) : Transcript(out, originName) {}

    void effect(const host::Effect &effect, const Place &place) override {
        std::visit([this](const auto &e) { write(e); }, effect);
        if (place.warning)
            putWarning(*place.warning);
        endObject(place);
    }
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override {
        put("{\"draw\": [");
        for (size_t i = 0; i < labels.size(); i++) {
            const host::TextDrawn &t = labels[i];
            put(i ? ", [" : "[");
            putJsonText(t.text);
            put(", \"");
            putHex8(t.colour);
            put("\", ");
            putJsonNumber(t.x);
            put(", ");
            putJsonNumber(t.y);
            put(']');
        }
        put(']');
        endObject(place);
    }
    void summary(const Summary &sum) override {
        put("{\"summary\": {\"seconds\": ");
        putSeconds(sum.length());
        put(", \"events\": ");
        putNumber(static_cast<int64_t>(sum.events()));
        put(", \"syncPackets\": ");
        putNumber(static_cast<int64_t>(sum.syncPackets()));
        put(", \"droppedPackets\": ");
        putNumber(static_cast<int64_t>(sum.droppedPackets()));
        put(", \"rpcs\": ");
        putNumber(static_cast<int64_t>(sum.rpcs()));
        put(", \"warned\": [");
        bool first = true;
        for (const auto &[player, w] : sum.warned()) {
            put(first ? "{\"player\": " : ", {\"player\": ");
            first = false;
            putNumber(player);
            put(", \"name\": ");
            putJsonText(w.name);
            put(", \"warnings\": ");
            putNumber(static_cast<int64_t>(w.warnings));
            put(", \"first\": ");
            putSeconds(w.first);
            put(", \"last\": ");
            putSeconds(w.last);
            put('}');
        }
        put("], \"spectated\": [");
        first = true;
        for (const auto &[player, w] : sum.spectated()) {
            put(first ? "{\"player\": " : ", {\"player\": ");
            first = false;
            putNumber(player);
            put(", \"name\": ");
            putJsonText(w.name);
            put(", \"seconds\": ");
            putSeconds(w.seconds);
            put('}');
        }
        put("]}}\n");
        lineDone();
    }

  private:
    // Why a warning line was posted: its player and the packets the plugin
    // acted on.
    void putWarning(const WarningCause &w) {
        put(", \"warning\": {\"player\": ");
        putNumber(w.player);
        put(", \"name\": ");
        putJsonText(w.name);
        put(", \"evidence\": [");
        for (size_t i = 0; i < w.evidence.size(); i++) {
            const SuspectPacket &e = w.evidence[i];
            put(i ? ", {\"" : "{\"");
            put(originName_);
            put("\": ");
            putNumber(static_cast<int64_t>(e.origin));
            put(", \"tick\": ");
            putNumber(e.tick);
            put(", \"seconds\": ");
            putSeconds(e.seconds);
            put(", \"speed\": ");
            putJsonNumber(e.speed);
            put(", \"keys\": ");
            putNumber(e.keys);
            put(", \"animation\": ");
            putNumber(e.animationId);
            put(", \"animationFlags\": ");
            putNumber(e.animationFlags);
            put(", \"gap\": ");
            putNumber(e.gapMs);
            put('}');
        }
        put("]}");
    }

    // The effect's place after its own keys.
    void endObject(const Place &place) {
        put(", \"");
        put(originName_);
        put("\": ");
        putNumber(static_cast<int64_t>(place.origin));
        put(", \"tick\": ");
        putNumber(place.tick);
        put("}\n");
        lineDone();
    }

    // JSON has no infinities or NaN: those become null.
    void putJsonNumber(float value) {
        if (std::isfinite(value))
            putFloat(value);
        else
            put("null");
    }
    void write(const host::ChatLine &e) {
        put("{\"chat\": ");
        putJsonText(e.text);
        put(", \"color\": \"");
        putHex8(e.colour);
        put('"');
    }
    void write(const host::FontCreated &e) {
        put("{\"font\": [");
        putJsonText(e.face);
        put(", ");
        putNumber(e.size);
        put(", ");
        putNumber(e.flags);
        put(']');
    }
    void write(const host::CommandRegistered &e) {
        put("{\"registered\": \"command\", \"name\": ");
        putJsonText(e.name);
    }
    void write(const host::D3DHookRegistered &e) {
        put("{\"registered\": \"d3d\", \"method\": ");
        putNumber(e.method);
    }
    void write(const host::RakNetHookRegistered &e) {
        put("{\"registered\": \"raknet\", \"type\": ");
        putNumber(e.type);
    }
    void write(const host::CursorToggled &e) {
        put(e.shown ? "{\"cursor\": true" : "{\"cursor\": false");
    }
    void write(const host::ProfileWritten &e) {
        put("{\"profile\": [");
        putJsonText(e.section);
        put(", ");
        putJsonText(e.key);
        put(", ");
        putJsonText(e.value);
        put(']');
    }
    void write(const host::TextDrawn &) {} // passes come whole through pass()
};

// ---- text ----

class Text final : public Transcript {
  public:
    Text(std::FILE *out, bool colours, std::string_view originName)
        : Transcript(out, originName), colours_(colours) {}

    void effect(const host::Effect &effect, const Place &place) override {
        putPlace(place);
        std::visit([this](const auto &e) { write(e); }, effect);
        if (place.warning)
            putWarning(*place.warning);
        lineDone();
    }
    // A pass like the one before it adds nothing for a reader: the key
    // column is drawn again every frame. Held keys are in capitals and
    // brackets, the others in small letters, so that the line reads the
    // same without colour.
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override {
        if (samePass(labels, lastPass_))
            return;
        lastPass_ = labels;
        putPlace(place);
        put("keys      ");
        for (size_t i = 0; i < labels.size(); i++) {
            if (i)
                put(' ');
            bool held = labels[i].colour == keyPressedColour;
            if (colours_)
                putAnsi(labels[i].colour & 0xFFFFFF);
            if (held)
                put('[');
            putShown(held ? labels[i].text : lowerCase(labels[i].text));
            if (held)
                put(']');
            if (colours_)
                put(reset);
        }
        put("  at ");
        putFloat(labels[0].x);
        put(", ");
        putFloat(labels[0].y);
        put('\n');
        lineDone();
    }
    void summary(const Summary &sum) override {
        char line[160];
        put("\nsummary\n");
        (void)std::snprintf(line, sizeof line,
                            "  session    %.3f s, %llu events: %llu sync packets (%llu dropped: "
                            "dead players, ids of 1000 and up), %llu RPCs\n",
                            sum.length(), static_cast<unsigned long long>(sum.events()),
                            static_cast<unsigned long long>(sum.syncPackets()),
                            static_cast<unsigned long long>(sum.droppedPackets()),
                            static_cast<unsigned long long>(sum.rpcs()));
        put(line);
        if (sum.warned().empty()) {
            put("  warned     nobody\n");
        } else {
            put("  warned     player  warnings  first (s)   last (s)    name\n");
            for (const auto &[player, w] : sum.warned()) {
                (void)std::snprintf(line, sizeof line,
                                    "             %-6u  %-8llu  %-10.3f  %-10.3f  ", player,
                                    static_cast<unsigned long long>(w.warnings), w.first, w.last);
                put(line);
                putShown(w.name);
                put('\n');
            }
        }
        if (sum.spectated().empty()) {
            put("  spectated  nobody\n");
        } else {
            put("  spectated  player  seconds     name\n");
            for (const auto &[player, w] : sum.spectated()) {
                (void)std::snprintf(line, sizeof line, "             %-6u  %-10.3f  ", player,
                                    w.seconds);
                put(line);
                putShown(w.name);
                put('\n');
            }
        }
        lineDone();
    }

  private:
    static constexpr const char *reset = "\x1b[0m";
    bool colours_;
    std::vector<host::TextDrawn> lastPass_;

    // Under a warning line, indented to its text, the suspect packets it
    // was made of, one a line.
    void putWarning(const WarningCause &w) {
        std::string indent(10 + 2 + originName_.size() + 1 + 8 + 2, ' ');
        for (const SuspectPacket &e : w.evidence) {
            char text[200];
            (void)std::snprintf(text, sizeof text,
                                "why       %s %llu, %.3f s: speed %.2f, keys 0x%04X, animation "
                                "%u/%d, %u ms after the one before\n",
                                originName_.c_str(), static_cast<unsigned long long>(e.origin),
                                e.seconds, static_cast<double>(e.speed), e.keys, e.animationId,
                                e.animationFlags, e.gapMs);
            put(indent);
            put(text);
        }
    }

    // The time and the line (or record) in front of every line.
    void putPlace(const Place &place) {
        char text[64];
        (void)std::snprintf(text, sizeof text, "%10.3f  %s %-8llu  ", place.seconds,
                            originName_.c_str(), static_cast<unsigned long long>(place.origin));
        put(text);
    }

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

    // Windows-1251 text in small letters: Latin and Cyrillic.
    static std::string lowerCase(std::string text) {
        for (char &c : text) {
            auto b = static_cast<unsigned char>(c);
            if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF))
                c = static_cast<char>(b + 0x20);
            else if (b == 0xA8) // Ё
                c = static_cast<char>(0xB8);
        }
        return text;
    }

    // Text for a terminal: control characters, which a name in a recorded
    // session might carry to move the cursor or recolour the screen, are
    // shown as '?' instead of being obeyed.
    void putShown(std::string_view cp1251) {
        size_t from = buffer_.size();
        appendUtf8FromCp1251(buffer_, cp1251);
        for (size_t i = from; i < buffer_.size(); i++)
            if (static_cast<unsigned char>(buffer_[i]) < 0x20 || buffer_[i] == 0x7F)
                buffer_[i] = '?';
    }

    void putAnsi(uint32_t rgb) {
        put("\x1b[38;2;");
        putNumber(rgb >> 16);
        put(';');
        putNumber((rgb >> 8) & 0xFF);
        put(';');
        putNumber(rgb & 0xFF);
        put('m');
    }

    static bool isColourTag(std::string_view s, size_t i) {
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
        put("chat      ");
        if (colours_)
            putAnsi(e.colour & 0xFFFFFF);
        std::string_view text = e.text;
        size_t plain = 0; // the start of the text not yet written
        for (size_t i = 0; i < text.size(); i++) {
            if (!isColourTag(text, i))
                continue;
            putShown(text.substr(plain, i - plain));
            if (colours_) {
                uint32_t rgb = 0;
                (void)std::from_chars(text.data() + i + 1, text.data() + i + 7, rgb, 16);
                putAnsi(rgb);
            }
            i += 7;
            plain = i + 1;
        }
        putShown(text.substr(plain));
        if (colours_)
            put(reset);
        put('\n');
    }
    void write(const host::FontCreated &e) {
        put("font      ");
        putShown(e.face);
        put(", size ");
        putNumber(e.size);
        put(", flags ");
        putNumber(e.flags);
        put('\n');
    }
    void write(const host::CommandRegistered &e) {
        put("register  command ");
        putShown(e.name);
        put('\n');
    }
    void write(const host::D3DHookRegistered &e) {
        put("register  render hook, device method ");
        putNumber(e.method);
        put('\n');
    }
    void write(const host::RakNetHookRegistered &e) {
        put("register  network hook, type ");
        putNumber(e.type);
        put('\n');
    }
    void write(const host::CursorToggled &e) {
        put(e.shown ? "cursor    shown\n" : "cursor    hidden\n");
    }
    void write(const host::ProfileWritten &e) {
        put("profile   [");
        putShown(e.section);
        put("] ");
        putShown(e.key);
        put('=');
        putShown(e.value);
        put(e.ok ? "\n" : " (the write failed)\n");
    }
    void write(const host::TextDrawn &) {}
};

} // namespace

Transcript::~Transcript() = default;

void Transcript::finish(const RunEnd & /*end*/) {
    if (summary_)
        summary(*summary_);
    flush();
}

void Transcript::lineDone() {
    if (buffer_.size() >= bufferSize)
        flush();
}

void Transcript::flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size() ||
        std::fflush(out_) != 0)
        failed_ = true;
    buffer_.clear();
}

void Transcript::putNumber(int64_t value) {
    char text[24];
    auto result = std::to_chars(text, text + sizeof text, value);
    buffer_.append(text, result.ptr);
}

void Transcript::putHex8(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    char text[8];
    for (int i = 7; i >= 0; i--, value >>= 4)
        text[i] = digits[value & 0xF];
    buffer_.append(text, 8);
}

void Transcript::putSeconds(double seconds) {
    char text[40];
    (void)std::snprintf(text, sizeof text, "%.3f", seconds);
    buffer_.append(text);
}

void Transcript::putFloat(float value) {
    FloatText t = floatText(value);
    buffer_.append(t.text, t.size);
}

// Quotes and backslashes escaped, control characters as \b \f \n \r \t or
// \u00xx, everything else as UTF-8.
void Transcript::putJsonText(std::string_view cp1251) {
    buffer_.push_back('"');
    for (char b : cp1251) {
        auto c = static_cast<unsigned char>(b);
        if (c >= 0x80) {
            appendUtf8FromCp1251(buffer_, std::string_view(&b, 1));
            continue;
        }
        switch (c) {
        case '"':
            buffer_ += "\\\"";
            break;
        case '\\':
            buffer_ += "\\\\";
            break;
        case '\b':
            buffer_ += "\\b";
            break;
        case '\f':
            buffer_ += "\\f";
            break;
        case '\n':
            buffer_ += "\\n";
            break;
        case '\r':
            buffer_ += "\\r";
            break;
        case '\t':
            buffer_ += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char digits[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', digits[c >> 4], digits[c & 0xF]};
                buffer_.append(escape, sizeof escape);
            } else {
                buffer_.push_back(b);
            }
        }
    }
    buffer_.push_back('"');
}

std::unique_ptr<Transcript> jsonlTranscript(std::FILE *out, std::string_view originName) {
    return std::make_unique<Jsonl>(out, originName);
}

std::unique_ptr<Transcript> textTranscript(std::FILE *out, bool colours,
                                           std::string_view originName) {
    return std::make_unique<Text>(out, colours, originName);
}

} // namespace replay
