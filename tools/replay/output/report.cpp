#include "report.h"

#include "capture/container.h"
#include "cp1251.h"
#include "number_text.h"
#include "platform.h"
#include "sha256.h"
#include "summary.h"
#include "transcript.h"

#include "net/net.h"
#include "overlay/overlay.h"
#include "report_page.h"

#include "norvi_version.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace replay {

namespace {

// ---- JSON ----

// A JSON string of text that is UTF-8 already (paths, messages).
void putUtf8(std::string &out, std::string_view utf8) {
    out += '"';
    for (char c : utf8) {
        auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            char escape[8];
            (void)std::snprintf(escape, sizeof escape, "\\u%04x", b);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

// A JSON string of Windows-1251 text.
void putText(std::string &out, std::string_view cp1251) { putUtf8(out, utf8FromCp1251(cp1251)); }

void putNumber(std::string &out, uint64_t value) { out += std::to_string(value); }

// JSON has no infinities or NaN: those become null.
void putFloat(std::string &out, float value) {
    if (std::isfinite(value))
        out += floatText(value).view();
    else
        out += "null";
}

void putSeconds(std::string &out, double seconds) {
    char text[40];
    (void)std::snprintf(text, sizeof text, "%.3f", seconds);
    out += text;
}

void putHex(std::string &out, uint32_t value, int digits) {
    char text[12];
    (void)std::snprintf(text, sizeof text, "\"%0*X\"", digits, value);
    out += text;
}

std::string labelKey(const std::vector<host::TextDrawn> &labels) {
    std::string key;
    for (const host::TextDrawn &t : labels) {
        key += t.text;
        key += '\0';
        key.append(reinterpret_cast<const char *>(&t.colour), sizeof t.colour);
        key.append(reinterpret_cast<const char *>(&t.x), sizeof t.x);
        key.append(reinterpret_cast<const char *>(&t.y), sizeof t.y);
    }
    return key;
}

// A source that hands on a file's bytes and hashes them on the way.
class HashingSource final : public capture::ByteSource {
  public:
    explicit HashingSource(std::FILE *in) : in_(in) {}
    size_t read(unsigned char *to, size_t most) override {
        size_t got = std::fread(to, 1, most, in_);
        hash.add(to, got);
        return got;
    }
    // Whatever the capture reader left unread (after a broken record).
    void drain() {
        unsigned char rest[1 << 16];
        while (size_t got = read(rest, sizeof rest))
            (void)got;
    }
    Sha256 hash;

  private:
    std::FILE *in_;
};

} // namespace

std::string utcText(uint64_t timeNs) {
    using namespace std::chrono;
    sys_seconds time{seconds(timeNs / 1000000000)};
    sys_days day = floor<days>(time);
    year_month_day date{day};
    hh_mm_ss clock{time - day};
    char text[64];
    (void)std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lld.%09uZ",
                        static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                        static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                        static_cast<int>(clock.minutes().count()),
                        static_cast<long long>(clock.seconds().count()),
                        static_cast<unsigned>(timeNs % 1000000000));
    return text;
}

FileFacts describeFile(const std::filesystem::path &path, bool isCapture) {
    FileFacts facts;
    // A pipe or a device named as a file cannot be read again, and reading
    // one whose writer is still there would wait for ever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return facts;
    std::FILE *f = openFile(path, "rb");
    if (!f)
        return facts;
    HashingSource in(f);
    if (isCapture) {
        capture::ContainerReader reader(in);
        if (reader.start()) {
            capture::Record record;
            while (reader.next(record) == capture::ContainerReader::Next::Record) {
                if (!record.hasTime)
                    continue;
                if (!facts.firstTimeNs)
                    facts.firstTimeNs = record.timeNs;
                facts.lastTimeNs = record.timeNs;
            }
        }
    }
    in.drain();
    bool failed = std::ferror(f) != 0;
    (void)std::fclose(f);
    if (failed)
        return FileFacts{};
    facts.size = in.hash.size();
    facts.sha256 = in.hash.hex();
    return facts;
}

Report::Report(std::string originName) : originName_(std::move(originName)) {}

void Report::player(uint16_t id, const std::optional<std::string> &name, uint32_t colour,
                    const Place & /*place*/) {
    Player &p = players_[id];
    // A player who leaves keeps the name they had, for the page's tables.
    if (name)
        p.name = name;
    p.colour = colour;
}

void Report::packet(int /*id*/, const SyncStep &step, const Place &place) {
    if (!step.decoded)
        return;
    Player &p = players_[step.player];
    p.syncPackets++;
    Sample sample{place.seconds, step.speed, step.keys, place.origin};
    // The player's last seconds, for the chart of a warning to come; and
    // every chart still open after a warning.
    p.recent.push_back(sample);
    while (!p.recent.empty() && p.recent.front().seconds < place.seconds - chartBefore)
        p.recent.pop_front();
    for (size_t i = 0; i < p.openCharts.size();) {
        Chart &chart = charts_[p.openCharts[i]];
        if (place.seconds > chart.until) {
            p.openCharts.erase(p.openCharts.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        chart.samples.push_back(sample);
        i++;
    }
    if (step.suspect) {
        p.suspectPackets++;
        if (p.run == 0) {
            p.runFrom = place.seconds;
            p.runWarned = false;
        }
        p.runLast = place.seconds;
        p.run = step.run;
        p.longestRun = std::max(p.longestRun, step.run);
    } else if (p.run > 0) {
        closeRun(step.player, p);
    }
}

void Report::closeRun(uint16_t id, Player &p) {
    runs_.push_back({id, p.runFrom, p.runLast, p.run, p.runWarned});
    p.run = 0;
}

void Report::effect(const host::Effect &effect, const Place &place) {
    if (!place.warning || !std::holds_alternative<host::ChatLine>(effect))
        return;
    uint16_t id = place.warning->player;
    Player &p = players_[id];
    p.warnings++;
    p.runWarned = true;
    warnings_.push_back({jsonlLine(effect, place, originName_), place.seconds, p.run, id});
    Chart chart{{}, place.seconds + chartAfter};
    for (const Sample &s : p.recent)
        if (s.seconds >= place.seconds - chartBefore)
            chart.samples.push_back(s);
    charts_.push_back(std::move(chart));
    p.openCharts.push_back(charts_.size() - 1);
}

void Report::pass(const std::vector<host::TextDrawn> &labels, const Place &place) {
    std::string key = labelKey(labels);
    auto [at, added] = passIndex_.try_emplace(key, passes_.size());
    if (added)
        passes_.push_back(labels);
    // Only a change is kept: the column is drawn again every frame.
    if (!draws_.empty() && draws_.back().pass == at->second)
        return;
    draws_.push_back({place.seconds, at->second, place.origin});
}

void Report::spectate(std::optional<uint16_t> player, const std::string & /*name*/,
                      const Place &place) {
    if (player == watching_)
        return;
    if (watching_) {
        spectating_.push_back({watchingFrom_, place.seconds, *watching_});
        players_[*watching_].spectated += place.seconds - watchingFrom_;
    }
    watching_ = player;
    watchingFrom_ = place.seconds;
}

std::string Report::readJson() const {
    std::string out = "{\"name\": ";
    putUtf8(out, source_.name);
    FileFacts facts;
    if (!source_.path.empty())
        facts = describeFile(source_.path, source_.isCapture);
    out += ", \"size\": ";
    if (facts.size)
        putNumber(out, *facts.size);
    else
        out += "null";
    out += ", \"sha256\": ";
    if (facts.size)
        putUtf8(out, facts.sha256);
    else
        out += "null";
    out += ", \"firstTime\": ";
    if (facts.firstTimeNs)
        putUtf8(out, utcText(*facts.firstTimeNs));
    else
        out += "null";
    out += ", \"lastTime\": ";
    if (facts.lastTimeNs)
        putUtf8(out, utcText(*facts.lastTimeNs));
    else
        out += "null";
    out += ", \"server\": ";
    if (source_.server.empty())
        out += "null";
    else
        putUtf8(out, source_.server);
    out += ", \"client\": ";
    putUtf8(out, source_.client);
    out += ", \"tool\": ";
    putUtf8(out, "norvi-replay " NORVI_VERSION);
    out += ", \"plugin\": ";
    putUtf8(out, source_.plugin);
    out += ", \"commandLine\": ";
    putUtf8(out, source_.commandLine);
    out += ", \"messages\": [";
    for (size_t i = 0; i < source_.messages.size(); i++) {
        if (i)
            out += ", ";
        putUtf8(out, source_.messages[i]);
    }
    out += "]}";
    return out;
}

std::string Report::data() const {
    std::string out = "{\"format\": 1, \"origin\": ";
    putUtf8(out, originName_);
    out += ",\n\"read\": " + readJson();
    out += ",\n\"end\": ";
    putSeconds(out, end_.seconds);
    // Seconds count from the first event; the transcript places effects by
    // the host's tick, which stood here then.
    out += ", \"firstTick\": ";
    putNumber(out, firstTick_.value_or(0));
    // What the page needs of the plugin's own rules and drawing.
    out += ",\n\"speedLimit\": ";
    putFloat(out, sprintHookSpeed);
    out += ", \"sprintKey\": ";
    putNumber(out, keySprint);
    out += ", \"jumpKey\": ";
    putNumber(out, keyJump);
    out += ", \"pressedColour\": ";
    putHex(out, keyPressedColour, 8);
    out += ", \"keyLabels\": [";
    for (int k = 0; k < 8; k++) {
        if (k)
            out += ", ";
        putText(out, keyRows[k].label);
    }
    out += "],\n\"screen\": {\"width\": " + std::to_string(end_.width) +
           ", \"height\": " + std::to_string(end_.height) + ", \"fontHeight\": ";
    putFloat(out, end_.fontHeight);
    out += "},\n\"summary\": ";
    if (summary_)
        out += jsonlSummaryObject(*summary_);
    else
        out += "null";

    out += ",\n\"warnings\": [";
    for (size_t i = 0; i < warnings_.size(); i++)
        out += (i ? ",\n" : "\n") + warnings_[i].object;
    out += "],\n\"warningInfo\": [";
    for (size_t i = 0; i < warnings_.size(); i++) {
        const Warning &w = warnings_[i];
        out += i ? ",\n{\"seconds\": " : "\n{\"seconds\": ";
        putSeconds(out, w.seconds);
        out += ", \"run\": " + std::to_string(w.run) + ", \"chart\": {\"t\": [";
        const std::vector<Sample> &samples = charts_[i].samples;
        // One column of the chart: a value of each sample, comma-separated.
        auto column = [&out, &samples](auto put) {
            for (size_t k = 0; k < samples.size(); k++) {
                if (k)
                    out += ',';
                put(samples[k]);
            }
        };
        column([&out](const Sample &s) { putSeconds(out, s.seconds); });
        out += "], \"speed\": [";
        column([&out](const Sample &s) { putFloat(out, s.speed); });
        out += "], \"keys\": [";
        column([&out](const Sample &s) { putNumber(out, s.keys); });
        out += "], \"origin\": [";
        column([&out](const Sample &s) { putNumber(out, s.origin); });
        out += "]}}";
    }

    out += "],\n\"players\": [";
    bool first = true;
    for (const auto &[id, p] : players_) {
        // An entry that never had a name nor sent a packet (the local
        // player's colour, say) is nobody to show.
        if (!p.name && p.syncPackets == 0)
            continue;
        out += first ? "\n{\"player\": " : ",\n{\"player\": ";
        first = false;
        putNumber(out, id);
        out += ", \"name\": ";
        if (p.name)
            putText(out, *p.name);
        else
            out += "null";
        out += ", \"colour\": ";
        putHex(out, p.colour & 0xFFFFFF, 6);
        out += ", \"syncPackets\": ";
        putNumber(out, p.syncPackets);
        out += ", \"suspectPackets\": ";
        putNumber(out, p.suspectPackets);
        out += ", \"longestRun\": " + std::to_string(p.longestRun);
        out += ", \"warnings\": ";
        putNumber(out, p.warnings);
        out += ", \"spectated\": ";
        putSeconds(out, p.spectated);
        out += '}';
    }

    out += "],\n\"spectating\": [";
    for (size_t i = 0; i < spectating_.size(); i++) {
        out += i ? ", [" : "[";
        putSeconds(out, spectating_[i].from);
        out += ", ";
        putSeconds(out, spectating_[i].to);
        out += ", " + std::to_string(spectating_[i].player) + "]";
    }
    out += "],\n\"runs\": [";
    for (size_t i = 0; i < runs_.size(); i++) {
        const Run &r = runs_[i];
        out += i ? ", [" : "[";
        out += std::to_string(r.player) + ", ";
        putSeconds(out, r.from);
        out += ", ";
        putSeconds(out, r.to);
        out += ", " + std::to_string(r.packets) + (r.warned ? ", 1]" : ", 0]");
    }
    out += "],\n\"passes\": [";
    for (size_t i = 0; i < passes_.size(); i++) {
        out += i ? ",\n[" : "\n[";
        for (size_t k = 0; k < passes_[i].size(); k++) {
            const host::TextDrawn &t = passes_[i][k];
            out += k ? ", [" : "[";
            putText(out, t.text);
            out += ", ";
            putHex(out, t.colour, 8);
            out += ", ";
            putFloat(out, t.x);
            out += ", ";
            putFloat(out, t.y);
            out += ']';
        }
        out += ']';
    }
    out += "],\n\"draws\": [";
    for (size_t i = 0; i < draws_.size(); i++) {
        out += i ? ",\n[" : "\n[";
        putSeconds(out, draws_[i].seconds);
        out += ", " + std::to_string(draws_[i].pass) + ", ";
        putNumber(out, draws_[i].origin);
        out += ']';
    }
    out += "]}\n";
    return out;
}

void Report::finish(const RunEnd &end) {
    end_ = end;
    // What is still open at the end.
    for (auto &[id, p] : players_)
        if (p.run > 0)
            closeRun(id, p);
    if (watching_) {
        spectating_.push_back({watchingFrom_, end.seconds, *watching_});
        players_[*watching_].spectated += end.seconds - watchingFrom_;
        watching_.reset();
    }
    page_ = reportPage(data());
}

std::string reportPage(const std::string &json) {
    // The script is named by its hash: the page runs that script and no
    // other, not even an event handler that got into the page somehow.
    Sha256 scriptHash;
    scriptHash.add(page::script);
    std::array<unsigned char, 32> digest = scriptHash.digest();

    std::string out;
    out.reserve(page::piece0.size() + page::piece1.size() + page::piece2.size() +
                page::script.size() + page::piece3.size() + json.size() + json.size() / 16 + 64);
    out += page::piece0;
    out += "sha256-" + base64(digest.data(), digest.size());
    out += page::piece1;
    // Inside the script element nothing may read as markup: `<`, `>` and
    // `&` only occur within the JSON's strings, where \u escapes mean the
    // same; and U+2028/U+2029, which some readers take for line ends.
    for (size_t i = 0; i < json.size(); i++) {
        char c = json[i];
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '&')
            out += "\\u0026";
        else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
                 (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    out += page::piece2;
    out += page::script;
    out += page::piece3;
    return out;
}

} // namespace replay
