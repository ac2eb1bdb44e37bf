#include "timeline.h"

#include "svg_write.h"

#include "overlay/overlay.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace replay {

namespace {

// The rows' names: the plugin's labels, the two mouse buttons (the first
// two rows) also in English.
std::string keyName(int row) {
    const char *const english[8] = {" (LMB)", " (RMB)", "", "", "", "", "", ""};
    return std::string(keyRows[row].label) + english[row];
}

const double firstBinSeconds = 0.001;

// A time the picture can place: a NaN or a negative time is the start, and
// anything past about thirty years (an infinity too) is held there.
double placeable(double seconds) {
    const double longest = 1e9;
    if (!(seconds > 0))
        return 0;
    return std::min(seconds, longest);
}

// Layout, in pixels.
const double pictureWidth = Timeline::plotLeft + Timeline::plotWidth + 20;
const double titleHeight = 28, axisHeight = 24;
const double stripHeight = 18;
const double keyRowHeight = 14;
const double playerRowHeight = 18;
const double gap = 14;

std::string attr(const char *name, double value) {
    return std::string(" ") + name + "=\"" + svgNumber(value) + "\"";
}

std::string rect(double x, double y, double w, double h, const std::string &fill,
                 const std::string &extra = "") {
    return "    <rect" + attr("x", x) + attr("y", y) + attr("width", w) + attr("height", h) +
           " fill=\"" + fill + "\"" + extra + "/>\n";
}

std::string text(double x, double y, const std::string &body, const std::string &extra = "") {
    return "    <text" + attr("x", x) + attr("y", y) + extra + ">" + body + "</text>\n";
}

// Whole seconds as "m:ss" or "h:mm:ss".
std::string clock(long long seconds, bool hours) {
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    if (hours)
        return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" +
               two(seconds % 60);
    return std::to_string(seconds / 60) + ":" + two(seconds % 60);
}

// A time on the axis: seconds with decimals for short sessions, a clock
// for long ones.
std::string timeText(double seconds, double step, bool hours) {
    if (step < 1)
        return svgNumber(seconds) + " s";
    return clock(std::llround(seconds), hours);
}

// Axis steps from a millisecond to two hours.
double axisStep(double span) {
    const double steps[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1,    2,
                            5,     10,    15,    30,   60,   120,  300, 600, 900, 1800, 3600};
    for (double s : steps)
        if (span / s <= Timeline::plotWidth / 110)
            return s;
    return 7200 * std::ceil(span / 7200 / (Timeline::plotWidth / 110));
}

// A fill colour per spectated player, from a small palette.
std::string targetColour(int target) {
    const char *const palette[] = {"#6C8EBF", "#B39DDB", "#80CBC4", "#FFCC80",
                                   "#F48FB1", "#A5D6A7", "#90A4AE", "#CE93D8"};
    return palette[static_cast<unsigned>(target) % 8];
}

} // namespace

Timeline::Timeline()
    : binSeconds_(firstBinSeconds), keys_(maxBins), lastSuspect_(1000, 0.0),
      openRunShort_(1000, false) {}

// Widens the bins, merging each pair, until `seconds` falls in the last.
void Timeline::grow(double seconds) {
    while (seconds >= binSeconds_ * maxBins) {
        binSeconds_ *= 2;
        for (auto &[id, row] : players_) {
            std::vector<Mark> merged;
            for (Mark m : row.marks) {
                m.bin /= 2;
                if (!merged.empty() && merged.back().bin == m.bin) {
                    merged.back().warnings += m.warnings;
                    merged.back().shortRuns += m.shortRuns;
                    merged.back().warnedRuns = std::max(merged.back().warnedRuns, m.warnedRuns);
                } else {
                    merged.push_back(m);
                }
            }
            row.marks = std::move(merged);
        }
        std::vector<SpectateMark> merged;
        for (SpectateMark m : spectates_) {
            m.bin /= 2;
            if (!merged.empty() && merged.back().bin == m.bin) {
                merged.back().target = m.target;
                merged.back().count += m.count;
            } else {
                merged.push_back(m);
            }
        }
        spectates_ = std::move(merged);
        for (uint32_t i = 0; i < maxBins / 2; i++) {
            KeyBin &to = keys_[i];
            const KeyBin &a = keys_[2 * size_t{i}], &b = keys_[2 * size_t{i} + 1];
            to.spectated = a.spectated + b.spectated;
            for (int k = 0; k < 8; k++)
                to.held[k] = a.held[k] + b.held[k];
        }
        std::fill(keys_.begin() + maxBins / 2, keys_.end(), KeyBin{});
    }
}

uint32_t Timeline::binOf(double seconds) {
    if (!(seconds > 0))
        return 0;
    grow(seconds);
    auto bin = static_cast<uint32_t>(seconds / binSeconds_);
    return std::min(bin, maxBins - 1);
}

Timeline::Mark &Timeline::markAt(uint16_t player, uint32_t bin) {
    std::vector<Mark> &marks = players_[player].marks;
    // Marks come in time order but for a run still open at the end; keep
    // them sorted either way.
    auto at = marks.end();
    while (at != marks.begin() && (at - 1)->bin > bin)
        --at;
    if (at == marks.begin() || (at - 1)->bin != bin)
        at = marks.insert(at, {bin, 0, 0}) + 1;
    return *(at - 1);
}

void Timeline::addMark(uint16_t player, double seconds, bool warning) {
    Mark &mark = markAt(player, binOf(seconds));
    (warning ? mark.warnings : mark.shortRuns)++;
}

// Adds the time from `from` to `to`, spread over the bins it covers, to the
// spectated time and to each key held.
void Timeline::addTime(double from, double to, bool spectated, uint8_t heldMask) {
    if (!(to > from))
        return;
    uint32_t last = binOf(to); // first: it may widen the bins
    for (uint32_t b = binOf(from); b <= last; b++) {
        double start = std::max(from, b * binSeconds_);
        double end = b == maxBins - 1 ? to : std::min(to, (b + 1) * binSeconds_);
        if (!(end > start))
            continue;
        auto t = static_cast<float>(end - start);
        if (spectated)
            keys_[b].spectated += t;
        for (int k = 0; k < 8; k++)
            if (heldMask & (1u << k))
                keys_[b].held[k] += t;
    }
}

// The key column drawn last stays on screen until `seconds`.
void Timeline::closeKeys(double seconds) {
    if (keysOpen_)
        addTime(keysFrom_, seconds, false, keysHeld_);
    keysOpen_ = false;
}

void Timeline::packet(const SyncStep &step, double seconds) {
    seconds = placeable(seconds);
    lastSeconds_ = std::max(lastSeconds_, seconds);
    if (!step.decoded)
        return;
    openRunShort_[step.player] = step.runShort;
    if (step.suspect)
        lastSuspect_[step.player] = seconds;
    else if (step.runEndedShort)
        addMark(step.player, lastSuspect_[step.player], false);
}

void Timeline::warning(uint16_t player, const std::string &nameCp1251, double seconds,
                       double runFrom) {
    seconds = placeable(seconds);
    lastSeconds_ = std::max(lastSeconds_, seconds);
    PlayerRow &row = players_[player];
    row.name = nameCp1251;
    if (row.warnings == 0)
        row.firstWarning = seconds;
    row.lastWarning = seconds;
    row.warnings++;
    addMark(player, seconds, true);
    if (runFrom >= 0 && runFrom <= seconds) {
        // The run's bins, each marked once for it (the last bin holds the
        // warning itself).
        uint32_t last = binOf(seconds);
        for (uint32_t bin = binOf(placeable(runFrom)); bin <= last; bin++)
            markAt(player, bin).warnedRuns = 1;
    }
}

void Timeline::spectate(std::optional<uint16_t> player, double seconds) {
    seconds = placeable(seconds);
    lastSeconds_ = std::max(lastSeconds_, seconds);
    int target = player ? *player : -1;
    if (target == target_)
        return;
    closeKeys(seconds);
    if (target_ != -1)
        addTime(targetFrom_, seconds, true, 0);
    target_ = target;
    targetFrom_ = seconds;
    uint32_t bin = binOf(seconds);
    if (!spectates_.empty() && spectates_.back().bin == bin) {
        spectates_.back().target = target;
        spectates_.back().count++;
    } else {
        spectates_.push_back({bin, target, 1});
    }
}

void Timeline::pass(const std::vector<host::TextDrawn> &labels, double seconds) {
    seconds = placeable(seconds);
    lastSeconds_ = std::max(lastSeconds_, seconds);
    // The column also shows while its place is being set, with nobody
    // spectated: those colours belong to no one.
    if (target_ == -1)
        return;
    uint8_t held = 0;
    for (const host::TextDrawn &label : labels)
        for (int k = 0; k < 8; k++)
            if (label.text == keyRows[k].label && label.colour == keyPressedColour)
                held = static_cast<uint8_t>(held | 1u << k);
    closeKeys(seconds);
    keysOpen_ = true;
    keysFrom_ = seconds;
    keysHeld_ = held;
}

// Closes whatever is still open at the end of the session.
void Timeline::closeAll(double endSeconds) {
    closeKeys(endSeconds);
    if (target_ != -1)
        addTime(targetFrom_, endSeconds, true, 0);
    target_ = -1;
    for (size_t id = 0; id < lastSuspect_.size(); id++)
        if (openRunShort_[id])
            addMark(static_cast<uint16_t>(id), lastSuspect_[id], false);
}

std::string Timeline::svg(double endSeconds) const {
    double end = std::max(placeable(endSeconds), lastSeconds_);
    Timeline done = *this;
    done.closeAll(end);
    return done.render(end);
}

void Timeline::renderAxis(const Canvas &c, std::string &svg) const {
    // Time axis, with a faint grid line at every step.
    double step = axisStep(c.span);
    svg += "  </g>\n  <g font-family=\"Arial, Helvetica, sans-serif\" font-size=\"11\" "
           "fill=\"#555555\">\n";
    for (long long i = 0;; i++) {
        double t = static_cast<double>(i) * step;
        if (t > c.span + step * 1e-9)
            break;
        svg += rect(c.xOf(t), c.axisY, 1, c.rowsEnd - c.axisY, "#EEEEEE");
        std::string label = timeText(t, step, c.hours);
        // A label is about 6.5 pixels a character; the last may not fit.
        if (c.xOf(t) + 2 + 6.5 * static_cast<double>(label.size()) <= pictureWidth)
            svg += text(c.xOf(t) + 2, c.axisY - 6, label);
    }
    svg += "  </g>\n  <g font-family=\"Arial, Helvetica, sans-serif\" font-size=\"12\" "
           "fill=\"#222222\">\n";
}

void Timeline::renderSpectating(const Canvas &c, std::string &svg) const {
    // Who was spectated: a band per stretch, the player id written in it
    // where it fits.
    svg += text(10, c.stripY + 13, "spectating");
    {
        double from = 0;
        int target = -1;
        auto band = [&](double until) {
            if (target == -1 || !(until > from))
                return;
            double x = c.xOf(from), w = std::max(1.0, c.xOf(until) - x);
            svg += rect(x, c.stripY, w, stripHeight, targetColour(target));
            std::string id = std::to_string(target);
            if (w > 8.0 * static_cast<double>(id.size()) + 6)
                svg += text(x + 3, c.stripY + 13, id);
        };
        for (const SpectateMark &m : spectates_) {
            double at = m.bin * binSeconds_;
            band(at);
            from = at;
            target = m.target;
        }
        band(c.span);
    }
}

void Timeline::renderKeys(const Canvas &c, std::string &svg) const {
    // The eight keys: grey where somebody was spectated, green where the
    // key was held, paler where it was held for part of the pixel.
    for (int k = 0; k < 8; k++) {
        double y = c.keysY + k * keyRowHeight;
        svg += text(10, y + 11, xmlText(keyName(k)));
    }
    {
        std::vector<double> spectated(static_cast<size_t>(plotWidth), 0);
        std::vector<std::array<double, 8>> held(static_cast<size_t>(plotWidth),
                                                std::array<double, 8>{});
        for (uint32_t b = 0; b < maxBins; b++) {
            const KeyBin &bin = keys_[b];
            if (bin.spectated == 0 &&
                std::all_of(bin.held, bin.held + 8, [](float v) { return v == 0; }))
                continue;
            // A bin wider than a pixel shares its time among the pixels it
            // covers.
            double from = b * binSeconds_ / c.perPixel, to = (b + 1) * binSeconds_ / c.perPixel;
            for (auto p = static_cast<long long>(from);
                 p < static_cast<long long>(std::ceil(to)) && p < static_cast<long long>(plotWidth);
                 p++) {
                double share = (std::min(to, static_cast<double>(p) + 1) -
                                std::max(from, static_cast<double>(p))) /
                               (to - from);
                if (!(share > 0))
                    continue;
                spectated[static_cast<size_t>(p)] += bin.spectated * share;
                for (size_t k = 0; k < 8; k++)
                    held[static_cast<size_t>(p)][k] += bin.held[k] * share;
            }
        }
        auto runs = [&](auto level, double y, const std::string &fill) {
            // Neighbouring pixels of one level become one rectangle.
            int current = 0;
            size_t start = 0;
            for (size_t p = 0; p <= spectated.size(); p++) {
                int l = p < spectated.size() ? level(p) : 0;
                if (l == current)
                    continue;
                if (current > 0)
                    svg += rect(plotLeft + static_cast<double>(start), y,
                                static_cast<double>(p - start), keyRowHeight - 2, fill,
                                current < 4 ? attr("fill-opacity", current / 4.0) : "");
                current = l;
                start = p;
            }
        };
        // How much of a pixel's time: 1 to 4 quarters, 0 for none.
        auto quarters = [&](double t) {
            return t > 0 ? std::clamp(static_cast<int>(std::ceil(t / c.perPixel * 4 - 1e-9)), 1, 4)
                         : 0;
        };
        for (size_t k = 0; k < 8; k++) {
            double y = c.keysY + static_cast<double>(k) * keyRowHeight;
            runs([&](size_t p) { return quarters(spectated[p]) > 0 ? 4 : 0; }, y, "#E4E4E4");
            runs([&](size_t p) { return quarters(held[p][k]); }, y, "#2DB82D");
        }
    }
}

void Timeline::renderChanges(const Canvas &c, std::string &svg) const {
    // Where spectating changed: a line down through the keys.
    {
        double lastPixel = -1;
        for (const SpectateMark &m : spectates_) {
            double p = c.pixelOfBin(m.bin);
            if (p == lastPixel)
                continue;
            lastPixel = p;
            svg +=
                rect(plotLeft + p, c.stripY, 1, c.keysY + 8 * keyRowHeight - c.stripY, "#333333");
        }
    }
}

void Timeline::renderPlayers(
    const Canvas &c, const std::vector<const std::pair<const uint16_t, PlayerRow> *> &warned,
    std::string &svg) const {
    // A row per warned player: a red mark per warning line, a faint one
    // where a run of suspect packets stopped short of five; marks within
    // one pixel are one mark.
    if (warned.empty())
        svg += text(plotLeft, c.playersY + 13, "Nobody was warned.");
    for (size_t i = 0; i < warned.size(); i++) {
        const auto &[id, row] = *warned[i];
        double y = c.playersY + static_cast<double>(i) * playerRowHeight;
        std::string label = xmlText(row.name) + " [" + std::to_string(id) +
                            "]: " + std::to_string(row.warnings) +
                            (row.warnings == 1 ? " warning" : " warnings");
        svg += text(10, y + 13, label);
        svg += rect(plotLeft, y + playerRowHeight - 1, plotWidth, 1, "#EEEEEE");
        double lastWarning = -1, lastShort = -1, lastRun = -1;
        for (const Mark &m : row.marks) {
            double p = c.pixelOfBin(m.bin);
            // The run that made a warning: a band under its marks.
            if (m.warnedRuns > 0 && p != lastRun) {
                svg += rect(plotLeft + p, y + 8, std::max(1.0, c.pixelOfBin(m.bin + 1) - p),
                            playerRowHeight - 14, "#F08080", attr("fill-opacity", 0.6));
                lastRun = p;
            }
            if (m.shortRuns > 0 && p != lastShort && p != lastWarning) {
                svg += rect(plotLeft + p, y + 5, 2, playerRowHeight - 8, "#E08080",
                            attr("fill-opacity", 0.5));
                lastShort = p;
            }
            if (m.warnings > 0 && p != lastWarning) {
                svg += rect(plotLeft + p, y + 1, 2, playerRowHeight - 2, "#D01010");
                lastWarning = p;
            }
        }
    }
}

std::string Timeline::render(double end) const {
    Canvas c;
    c.span = end > 0 ? end : 1;
    c.perPixel = c.span / plotWidth;
    c.binSeconds = binSeconds_;
    c.hours = c.span >= 3600;
    double span = c.span;
    bool hours = c.hours;

    std::vector<const std::pair<const uint16_t, PlayerRow> *> warned;
    uint32_t warnings = 0;
    // Players never warned whose runs stopped short, with their number of
    // such runs: named under the picture, the first few of them.
    std::string nearMisses;
    size_t nearMissCount = 0;
    for (const auto &entry : players_) {
        if (entry.second.warnings > 0) {
            warned.push_back(&entry);
            warnings += entry.second.warnings;
            continue;
        }
        uint32_t runs = 0;
        for (const Mark &m : entry.second.marks)
            runs += m.shortRuns;
        if (nearMissCount++ < 8)
            nearMisses += (nearMisses.empty() ? " " : ", ") + std::to_string(entry.first) + " (" +
                          std::to_string(runs) + (runs == 1 ? " run)" : " runs)");
    }
    if (nearMissCount > 8)
        nearMisses += " and " + std::to_string(nearMissCount - 8) + " more";

    c.axisY = titleHeight + axisHeight;
    c.stripY = c.axisY + 6;
    c.keysY = c.stripY + stripHeight + 6;
    c.playersY = c.keysY + 8 * keyRowHeight + gap;
    c.rowsEnd =
        c.playersY + static_cast<double>(std::max<size_t>(warned.size(), 1)) * playerRowHeight;
    double rowsEnd = c.rowsEnd;
    double height = rowsEnd + 62; // room for three lines of notes

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"" + attr("width", pictureWidth) +
                      attr("height", height) + " viewBox=\"0 0 " + svgNumber(pictureWidth) + " " +
                      svgNumber(height) + "\">\n";
    svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    svg += "  <g font-family=\"Arial, Helvetica, sans-serif\" font-size=\"12\" fill=\"#222222\">\n";

    // Title: what the picture covers.
    std::string title =
        "Session of " + (span < 60 ? svgNumber(span) + " s" : clock(std::llround(span), hours)) +
        ": " + std::to_string(warned.size()) + (warned.size() == 1 ? " player" : " players") +
        " warned, " + std::to_string(warnings) +
        (warnings == 1 ? " warning line" : " warning lines");
    svg += text(10, 19, title, " font-size=\"15\" font-weight=\"bold\"");

    renderAxis(c, svg);
    renderSpectating(c, svg);
    renderKeys(c, svg);
    renderChanges(c, svg);
    renderPlayers(c, warned, svg);
    double footY = rowsEnd + 18;
    svg += text(10, footY,
                "Time from the first event. Keys: green while held (paler: held for part of the "
                "pixel), grey while spectated. Red: a warning line; pale red: suspect packets in "
                "a row that stopped short of five.",
                " fill=\"#666666\"");
    svg += text(10, footY + 16,
                "Under a warning, a band over the suspect packets that made it (its evidence).",
                " fill=\"#666666\"");
    footY += 16;
    if (nearMissCount > 0)
        svg += text(10, footY + 16,
                    "Players never warned who had such runs, by id:" + nearMisses + ".",
                    " fill=\"#666666\"");
    svg += "  </g>\n</svg>\n";
    return svg;
}

} // namespace replay
