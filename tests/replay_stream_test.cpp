// A trace read as a stream, in chunks and pieces: whatever the chunk size,
// the events, their line numbers and the first bad line are those of the
// trace read whole.
#include "sync_fields.h"
#include "sync_packet.h"
#include "trace.h"
#include "trace_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace replay;

namespace {

struct Played {
    std::vector<uint64_t> lines;
    std::vector<Event> events;
};

class ReplayStream : public ::testing::Test {
  protected:
    fs::path path =
        fs::temp_directory_path() /
        ("norvi-replay-stream-" +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".jsonl");
    void TearDown() override { fs::remove(path); }

    void write(const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

    // The first bad line, as "LINE: message", or "" when the check passed.
    std::string check(size_t chunkSize) {
        TraceFile trace(chunkSize);
        EXPECT_TRUE(trace.open(path.string()));
        std::optional<TraceError> error = trace.check();
        EXPECT_EQ(trace.readError(), "");
        return error ? error->describe() : "";
    }

    // Where a stream's events go: a sync event as its packet.
    static TraceFile::Play into(Played &played) {
        return {[&played](const Event &e, uint64_t line) {
                    played.lines.push_back(line);
                    played.events.push_back(e);
                },
                [&played](const unsigned char *bytes, uint32_t bitCount, uint64_t line) {
                    played.lines.push_back(line);
                    played.events.push_back(
                        Packet{std::vector<unsigned char>(bytes, bytes + (bitCount + 7) / 8),
                               bitCount, host::playerSyncId});
                }};
    }

    // Checked first, then played.
    Played play(size_t chunkSize) {
        TraceFile trace(chunkSize);
        EXPECT_TRUE(trace.open(path.string()));
        EXPECT_FALSE(trace.check());
        Played played;
        EXPECT_TRUE(trace.play(into(played)));
        EXPECT_EQ(trace.events(), played.events.size());
        return played;
    }

    // Checked while played, in one pass: the bad line, if any, as in check().
    std::string playOnce(size_t chunkSize, Played &played) {
        TraceFile trace(chunkSize);
        EXPECT_TRUE(trace.open(path.string()));
        std::optional<TraceError> error = trace.checkAndPlay(into(played));
        EXPECT_EQ(trace.readError(), "");
        return error ? error->describe() : "";
    }
};

// A trace of many short events, with comments, blank lines and CR LF line
// ends scattered through it.
std::string mixedTrace(int lines) {
    std::string text;
    for (int i = 1; i <= lines; i++) {
        if (i % 7 == 0)
            text += "# comment " + std::to_string(i) + "\n";
        else if (i % 11 == 0)
            text += "   \r\n";
        else
            text += "{\"advance\": " + std::to_string(i) + "}" + (i % 5 == 0 ? "\r\n" : "\n");
    }
    return text;
}

} // namespace

TEST_F(ReplayStream, EveryChunkSizeGivesTheEventsOfTheWholeTraceWithTheirLines) {
    std::string text = mixedTrace(3000);
    text.pop_back(); // no line end after the last line
    write(text);
    ParsedTrace whole = parseTrace(text);
    ASSERT_FALSE(whole.error);
    for (size_t chunk : {size_t{1}, size_t{16}, size_t{100}, size_t{4096}, size_t{1} << 20}) {
        Played played = play(chunk);
        ASSERT_EQ(played.events.size(), whole.events.size()) << "chunk " << chunk;
        for (size_t i = 0; i < played.events.size(); i++) {
            uint32_t ms = std::get<Advance>(played.events[i]).ms;
            ASSERT_EQ(ms, std::get<Advance>(whole.events[i]).ms) << "chunk " << chunk;
            // Each event's line is the number it carries.
            ASSERT_EQ(played.lines[i], ms) << "chunk " << chunk;
        }
    }
}

TEST_F(ReplayStream, TheFirstBadLineIsFoundWhereverItLies) {
    const int lines = 20000;
    const std::string bad = "{\"frame\": 0}\n";
    const std::string message = ": \"frame\" must be an integer from 1 to 2147483647";
    // First line, a middle piece, the last line, and two at once (the
    // earlier is named), with chunks small enough for many chunks and pieces.
    for (int at : {1, lines / 2, lines - 1, lines}) {
        std::string text;
        for (int i = 1; i <= lines; i++) {
            if (i == at || (at == lines / 2 && i == lines - 3))
                text += bad;
            else
                text += "{\"advance\": " + std::to_string(i) + "}\n";
        }
        write(text);
        EXPECT_EQ(check(4096), std::to_string(at) + message);
        EXPECT_EQ(check(TraceFile::defaultChunkSize), std::to_string(at) + message);
    }
}

TEST_F(ReplayStream, OnePassPlaysTheSameEventsAsTwo) {
    std::string text = mixedTrace(3000);
    text += "{\"sync\": {\"player\": 3, \"keys\": 8, \"position\": [1.5, 2, 3e2]}}\n";
    write(text);
    for (size_t chunk : {size_t{16}, size_t{4096}, TraceFile::defaultChunkSize}) {
        Played twice = play(chunk), once;
        ASSERT_EQ(playOnce(chunk, once), "") << "chunk " << chunk;
        EXPECT_EQ(once.lines, twice.lines) << "chunk " << chunk;
        ASSERT_EQ(once.events.size(), twice.events.size());
        EXPECT_EQ(std::get<Packet>(once.events.back()).bytes,
                  std::get<Packet>(twice.events.back()).bytes);
    }
}

TEST_F(ReplayStream, OnePassStopsAtTheFirstBadLineHavingPlayedOnlyLinesBeforeIt) {
    const int lines = 20000;
    for (int at : {1, lines / 2, lines}) {
        std::string text;
        for (int i = 1; i <= lines; i++)
            text += i == at ? "{\"frame\": 0}\n" : "{\"advance\": " + std::to_string(i) + "}\n";
        write(text);
        for (size_t chunk : {size_t{4096}, TraceFile::defaultChunkSize}) {
            Played played;
            EXPECT_EQ(playOnce(chunk, played),
                      std::to_string(at) + ": \"frame\" must be an integer from 1 to 2147483647");
            for (uint64_t line : played.lines)
                ASSERT_LT(line, static_cast<uint64_t>(at)) << "chunk " << chunk;
        }
    }
}

TEST_F(ReplayStream, SyncEventsArriveAsThePacketsTheyAreSentAs) {
    write("{\"sync\": {\"player\": 3, \"keys\": 8}}\n{\"frame\": 1}\n");
    Played played = play(TraceFile::defaultChunkSize);
    ASSERT_EQ(played.events.size(), 2u);
    const Packet &packet = std::get<Packet>(played.events[0]);
    EXPECT_EQ(packet.id, 207u);
    ASSERT_GE(packet.bytes.size(), 3u);
    EXPECT_EQ(packet.bytes[0], 207);
    EXPECT_EQ(packet.bytes[1], 3) << "the player id, low byte first";
    EXPECT_EQ(played.lines, (std::vector<uint64_t>{1, 2}));
}

TEST_F(ReplayStream, ALineLongerThanAChunkIsReadWhole) {
    std::string name(5000, 'x');
    write("{\"frame\": 1}\n{\"command\": \"" + name + "\"}\n{\"frame\": 2}\n");
    Played played = play(256);
    ASSERT_EQ(played.events.size(), 3u);
    EXPECT_EQ(std::get<Command>(played.events[1]).name, name);
    EXPECT_EQ(played.lines, (std::vector<uint64_t>{1, 2, 3}));
}

TEST_F(ReplayStream, AMissingTraceOrAFolderIsAReadError) {
    TraceFile missing;
    EXPECT_FALSE(missing.open((path.parent_path() / "no-such-trace.jsonl").string()));
    EXPECT_NE(missing.readError(), "");
    TraceFile folder;
    EXPECT_FALSE(folder.open(path.parent_path().string()));
    EXPECT_NE(folder.readError(), "");
}

// A stray CR is blank like a space, by both readers: a line of nothing
// else is skipped, and so is a comment after one. (Read at once, a piece
// took such a line for blank; read line by line, it was not JSON.)
TEST_F(ReplayStream, StrayCarriageReturnsAreBlankAsForTheWholeText) {
    const std::string text = "\r\r\r\n \r\t\r\n{\"advance\": 1}\r\n\r# comment\r\n"
                             "{\"advance\": 2}\n\r\r";
    write(text);
    ParsedTrace whole = parseTrace(text);
    EXPECT_FALSE(whole.error) << whole.error->describe();
    EXPECT_EQ(whole.events.size(), 2u);
    for (size_t chunkSize : {size_t{16}, TraceFile::defaultChunkSize}) {
        EXPECT_EQ(check(chunkSize), "") << chunkSize;
        EXPECT_EQ(play(chunkSize).lines, (std::vector<uint64_t>{3, 5})) << chunkSize;
    }
    // A bad line after them is still found where it is.
    write(text + "\n{\"advance\": -1}\n");
    EXPECT_EQ(parseTrace(text + "\n{\"advance\": -1}\n").error->line, 7u);
    EXPECT_EQ(check(TraceFile::defaultChunkSize).substr(0, 2), "7:");
}

TEST_F(ReplayStream, AnEmptyTraceHasNoEvents) {
    write("# nothing but a comment\n\n");
    Played played = play(TraceFile::defaultChunkSize);
    EXPECT_TRUE(played.events.empty());
}

namespace {

// What readLines hands over for a one-line piece.
struct Taken final : LineReader::Take {
    std::vector<Sync> syncs;
    size_t others = 0;
    void sync(const Sync &s, uint64_t) override { syncs.push_back(s); }
    void event(Event &, uint64_t) override { others++; }
};

} // namespace

// Sync lines are read straight from the parsed JSON when the whole piece
// reads at once; every line must give the packet the line-by-line reader
// gives, or be left to it (a bad line).
TEST(ReplayQuickSync, ReadsEverySyncLineAsTheLineByLineReaderDoes) {
    const std::vector<std::string> lines = {
        R"({"sync": {"player": 0}})",
        R"({"sync": {"keys": 65535, "player": 65535, "leftRight": 0, "upDown": 65535}})",
        R"({"sync": {"player": 1, "position": [1, -2, 3e38], "quaternion": [-0.0, 0, 1, -1]}})",
        R"({"sync": {"player": 1, "position": [0.1, 16777217, 1e-46]}})",
        R"({"sync": {"player": 1, "position": [3.4028235677973366e38, 0, 0]}})",
        R"({"sync": {"player": 1, "position": [1.00000005960464477539062500001, 0, 0]}})",
        R"({"sync": {"player": 1, "velocity": [0.3, -0.4, 1e-30], "health": 57, "armour": 3}})",
        R"({"sync": {"player": 1, "velocity": [1e39, 0, 0]}})",
        R"({"sync": {"player": 1, "surf": {"offset": [1, 2, 3], "vehicle": 7}}})",
        R"({"sync": {"player": 1, "surf": {"vehicle": 7}}})",
        R"({"sync": {"player": 1, "animation": [1189, -32766], "weapon": 255}})",
        R"({"sync": {"player": 1, "animation": [1189, 65536]}})",
        R"({"sync": {"player": 1, "specialAction": 256}})",
        R"({"sync": {"player": 1, "player": 2}})",
        R"({"sync": {"player": 1, "speed": 2}})",
        R"({"sync": {"player": 1.0}})",
        R"({"sync": {"keys": 1}})",
        R"({"sync": {"player": 1}, "frame": 1})",
        R"({"sync": {"player": 1, "position": [1, 2]}})",
        R"({"sync": {"player": 1, "quaternion": [1, 0, 0, "0"]}})",
    };
    for (const std::string &line : lines) {
        std::string padded = line + std::string(LineReader::padding, ' ');
        std::string_view text(padded.data(), line.size());
        LineReader general, quick;
        Event event;
        std::optional<std::string> error = general.read(text, event);
        Taken taken;
        uint64_t lineEnds = 0;
        bool readAtOnce = quick.readLines(text, taken, lineEnds);
        if (error) {
            EXPECT_FALSE(readAtOnce) << line << " (" << *error << ")";
            continue;
        }
        ASSERT_TRUE(readAtOnce) << line;
        ASSERT_EQ(taken.syncs.size(), 1u) << line;
        EXPECT_EQ(host::encodeSync(syncPacketOf(taken.syncs[0])).bytes,
                  host::encodeSync(syncPacketOf(std::get<Sync>(event))).bytes)
            << line;
    }
}

TEST(ReplayComments, OnlyLinesWhoseFirstNonBlankIsAHashAreBlanked) {
    std::string text =
        "# first\n{\"command\": \"a#b\"} \n \t# indented\r\n#\n{\"advance\": 1} # after\n"
        "\r#cr\n#end";
    std::string expected =
        "       \n{\"command\": \"a#b\"} \n \t           \n \n{\"advance\": 1} # after\n"
        "\r   \n    ";
    LineReader::blankComments(text.data(), text.size());
    EXPECT_EQ(text, expected);
}
