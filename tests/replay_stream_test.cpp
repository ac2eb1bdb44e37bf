// A trace read as a stream, in chunks and pieces: whatever the chunk size,
// the events, their line numbers and the first bad line are those of the
// trace read whole.
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

    Played play(size_t chunkSize) {
        TraceFile trace(chunkSize);
        EXPECT_TRUE(trace.open(path.string()));
        EXPECT_FALSE(trace.check());
        Played played;
        EXPECT_TRUE(trace.play([&](const Event &e, uint64_t line) {
            played.lines.push_back(line);
            played.events.push_back(e);
        }));
        EXPECT_EQ(trace.events(), played.events.size());
        return played;
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

TEST_F(ReplayStream, AnEmptyTraceHasNoEvents) {
    write("# nothing but a comment\n\n");
    Played played = play(TraceFile::defaultChunkSize);
    EXPECT_TRUE(played.events.empty());
}
