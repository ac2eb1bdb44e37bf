// One self-contained HTML page of a run, to hand to other people: what was
// read, the session on a timeline that zooms, every warning with its
// evidence and a chart of the player's speed around it, the players, and
// the key column as drawn at any moment. Its data is also in the page as
// JSON, for other programs.
//
// What is kept grows with what happened (warnings, suspect runs, changes
// of spectating and of the drawn column), not with the packets: a packet
// adds to counters and to a few seconds' window of its player.
#pragma once

#include "output.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace replay {

class Summary;

// What was read and how, for the page's first part.
struct ReportSource {
    std::string name;                  // the input as the user named it ("-": standard input)
    std::filesystem::path path;        // the file to describe; empty for standard input
    bool isCapture = false;            // else a trace
    std::string server, client;        // a capture's game server and client followed
    std::string commandLine;           // the tool's arguments, as given
    std::string plugin;                // which plugin ran
    std::vector<std::string> messages; // the skip report and notes, as on standard error
};

// What a file holds, found by reading it once more at the end of the run:
// its size and SHA-256 and, for a capture, its first and last record's
// time. Empty where the file cannot be read, or is no regular file (a
// named pipe, a device).
struct FileFacts {
    std::optional<uint64_t> size;
    std::string sha256;
    std::optional<uint64_t> firstTimeNs, lastTimeNs; // since 1970
};
FileFacts describeFile(const std::filesystem::path &path, bool isCapture);

// "2026-12-09T18:20:22.123456789Z".
std::string utcText(uint64_t timeNs);

class Report final : public Output {
  public:
    // `originName` is "record" (a capture) or "line" (a trace).
    explicit Report(std::string originName);

    // The session's figures come from `summary`, which must come before
    // the report in the list of outputs.
    void endWith(const Summary *summary) { summary_ = summary; }
    // Known once the input has been read.
    void source(ReportSource source) { source_ = std::move(source); }

    bool needsEveryPacket() const override { return true; }
    void event(const Place &place) override {
        if (!firstTick_)
            firstTick_ = place.tick;
    }
    void effect(const host::Effect &effect, const Place &place) override;
    void pass(const std::vector<host::TextDrawn> &labels, const Place &place) override;
    void packet(int id, const SyncStep &step, const Place &place) override;
    void spectate(std::optional<uint16_t> player, const std::string &name,
                  const Place &place) override;
    void player(uint16_t id, const std::optional<std::string> &name, uint32_t colour,
                const Place &place) override;
    void finish(const RunEnd &end) override;

    // The page's data, as JSON (the page holds it escaped).
    std::string data() const;
    // The page, made when the run finished.
    const std::string &page() const { return page_; }

    // How far around a warning its chart reaches.
    static constexpr double chartBefore = 8, chartAfter = 4;

  private:
    struct Sample {
        double seconds;
        float speed;
        uint16_t keys;
        uint64_t origin;
    };
    struct Chart {
        std::vector<Sample> samples;
        double until; // collects the player's packets up to this time
    };
    struct Player {
        std::optional<std::string> name; // Windows-1251
        uint32_t colour = 0xFFFFFFFF;
        uint64_t syncPackets = 0, suspectPackets = 0, warnings = 0;
        int32_t longestRun = 0, run = 0;
        double spectated = 0;
        // The open suspect run: its first and latest packet, and whether
        // it made a warning.
        double runFrom = 0, runLast = 0;
        bool runWarned = false;
        std::deque<Sample> recent; // the last chartBefore seconds
        std::vector<size_t> openCharts;
    };
    struct Run {
        uint16_t player;
        double from, to;
        int32_t packets;
        bool warned;
    };
    struct Warning {
        std::string object; // the jsonl transcript's line
        double seconds;
        int32_t run;
        uint16_t player;
    };
    struct Spectated {
        double from, to;
        uint16_t player;
    };
    struct Draw {
        double seconds;
        size_t pass;
        uint64_t origin;
    };

    void closeRun(uint16_t id, Player &p);
    std::string readJson() const;

    std::string originName_;
    const Summary *summary_ = nullptr;
    ReportSource source_;
    std::map<uint16_t, Player> players_;
    std::vector<Warning> warnings_;
    std::vector<Chart> charts_;
    std::vector<Run> runs_;
    std::vector<Spectated> spectating_;
    std::optional<uint16_t> watching_;
    double watchingFrom_ = 0;
    // The distinct passes drawn, each once, and when the drawn one changed.
    std::vector<std::vector<host::TextDrawn>> passes_;
    std::unordered_map<std::string, size_t> passIndex_;
    std::vector<Draw> draws_;
    std::optional<uint32_t> firstTick_; // the host's tick at the first event
    RunEnd end_;
    std::string page_;
};

// The page around its data: the data is escaped so that nothing in it can
// end its script element.
std::string reportPage(const std::string &json);

} // namespace replay
