// One SVG picture of a whole session: time runs left to right; one row per
// warned player with a mark per warning line and faint marks where a run of
// suspect packets ended short of a warning; the spectated player's eight
// keys as bars; a mark wherever spectating changed.
//
// Memory stays bounded however long the session: every row keeps its time
// in a fixed number of bins, whose width doubles (neighbours merged) when
// the session outgrows them; the picture merges whatever falls within one
// pixel. The output is the same bytes on every platform.
//
// Calls come in time order; `seconds` counts from the first event of the
// session.
#pragma once

#include "output.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace replay {

class Timeline final : public Output {
  public:
    Timeline();

    // As an output of the runner: follows the suspect runs of every packet.
    bool needsEveryPacket() const override { return true; }
    void packet(int /*id*/, const SyncStep &step, const Place &place) override {
        packet(step, place.seconds);
    }
    void effect(const host::Effect & /*effect*/, const Place &place) override {
        if (const WarningCause *w = place.warning)
            warning(w->player, w->name, place.seconds,
                    w->evidence.empty() ? -1 : w->evidence.front().seconds);
    }
    void spectate(std::optional<uint16_t> player, const std::string & /*name*/,
                  const Place &place) override {
        spectate(player, place.seconds);
    }
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override {
        pass(labels, place.seconds);
    }

    // Every packet delivered to the plugin, with what the tracker made of
    // it (the suspect runs of player sync packets).
    void packet(const SyncStep &step, double seconds);
    // A warning line the plugin posted about `player`; `runFrom`: when the
    // run of suspect packets that made it began (its evidence's first), to
    // mark the run, or negative for none.
    void warning(uint16_t player, const std::string &nameCp1251, double seconds,
                 double runFrom = -1);
    // An RPC set the spectate target: spectating starts or moves to
    // `player`, or ends (none). Setting the target already in force changes
    // nothing.
    void spectate(std::optional<uint16_t> player, double seconds);
    // A render pass that drew: the key column's labels (held keys in the
    // overlay's pressed colour).
    void pass(const std::vector<host::TextDrawn> &labels, double seconds);
    // The picture of everything from 0 to `endSeconds`.
    std::string svg(double endSeconds) const;

    // Bins per row: bounds the memory and the detail kept.
    static constexpr uint32_t maxBins = 4096;
    // Where time is drawn: 0 s at x = plotLeft, the end at plotLeft +
    // plotWidth, one pixel per plotWidth-th of the session.
    static constexpr double plotLeft = 300, plotWidth = 1280;

  private:
    // Marks of one warned or suspect player, sparse: one entry per bin used.
    struct Mark {
        uint32_t bin;
        uint32_t warnings;       // warning lines in the bin
        uint32_t shortRuns;      // suspect runs that ended below five in the bin
        uint32_t warnedRuns = 0; // runs that made a warning, over the bin
    };
    struct PlayerRow {
        std::string name; // Windows-1251, the latest one a warning gave
        uint32_t warnings = 0;
        double firstWarning = 0, lastWarning = 0;
        std::vector<Mark> marks;
    };
    struct SpectateMark {
        uint32_t bin;
        int target;     // the last target set in the bin (-1: none)
        uint32_t count; // changes in the bin
    };
    // Time spent per bin: spectating, and each of the eight keys held.
    struct KeyBin {
        float spectated = 0;
        float held[8] = {};
    };

    uint32_t binOf(double seconds);
    void grow(double seconds);
    void addMark(uint16_t player, double seconds, bool warning);
    Mark &markAt(uint16_t player, uint32_t bin);
    void addTime(double from, double to, bool spectated, uint8_t heldMask);
    void closeKeys(double seconds);
    void closeAll(double endSeconds);
    std::string render(double endSeconds) const;

    // Where the picture's parts lie, worked out once for a rendering.
    struct Canvas {
        double span, perPixel, binSeconds;
        bool hours;
        double axisY, stripY, keysY, playersY, rowsEnd;
        double xOf(double seconds) const { return plotLeft + seconds / perPixel; }
        double pixelOfBin(uint32_t bin) const {
            return std::min(plotWidth - 1, std::floor((bin + 0.5) * binSeconds / perPixel));
        }
    };
    // The parts of the picture, top to bottom, each appended to `svg`.
    void renderAxis(const Canvas &c, std::string &svg) const;
    void renderSpectating(const Canvas &c, std::string &svg) const;
    void renderKeys(const Canvas &c, std::string &svg) const;
    void renderChanges(const Canvas &c, std::string &svg) const;
    void renderPlayers(const Canvas &c,
                       const std::vector<const std::pair<const uint16_t, PlayerRow> *> &warned,
                       std::string &svg) const;

    double binSeconds_;
    double lastSeconds_ = 0;
    std::map<uint16_t, PlayerRow> players_;
    std::vector<SpectateMark> spectates_;
    std::vector<KeyBin> keys_;
    int target_ = -1;
    double targetFrom_ = 0;
    // The key column of the last pass: shown from that pass until the next
    // one, or until spectating changes.
    bool keysOpen_ = false;
    double keysFrom_ = 0;
    uint8_t keysHeld_ = 0;
    // The latest suspect packet of each player, where a short run is
    // marked, and whether the run still open after it is short of a warning.
    std::vector<double> lastSuspect_;
    std::vector<bool> openRunShort_;
};

} // namespace replay
