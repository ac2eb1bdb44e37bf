// norvi-replay on a game among other traffic, end to end: the same
// transcript (warnings, their evidence and the key column, placed on the
// game's own records) as the game alone, from a file and through a pipe,
// and one word on standard error while it waits for the game.
#include "capture_scenes.h"
#include "replay_fixture.h"
#include "tool_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace scenes;

namespace {

// The transcript with every record number turned into the game's own
// number for it ("noise N" for a record that is not the game's).
std::string placedByTheGame(const std::string &transcript, const std::vector<uint64_t> &game) {
    static const std::regex record("\"record\": ([0-9]+)");
    std::string out;
    auto at = transcript.cbegin();
    for (std::sregex_iterator it(transcript.begin(), transcript.end(), record), none; it != none;
         ++it) {
        out.append(at, (*it)[0].first);
        uint64_t n = std::stoull((*it)[1].str());
        bool ours = n >= 1 && n <= game.size() && game[static_cast<size_t>(n - 1)] != 0;
        out += "\"record\": " + (ours ? std::to_string(game[static_cast<size_t>(n - 1)])
                                      : "noise " + (*it)[1].str());
        at = (*it)[0].second;
    }
    out.append(at, transcript.cend());
    return out;
}

class ReplayNoise : public ReplayFolderTest {
  protected:
    ReplayNoise() : ReplayFolderTest("norvi-noise-test") {}
    void write(const std::string &name, const capwrite::Bytes &bytes) {
        ASSERT_TRUE(capwrite::writeFile((dir / name).string(), bytes));
    }
};

} // namespace

TEST_F(ReplayNoise, AGameAmongOtherTrafficGivesTheGameAlonesTranscript) {
    const uint64_t s = second;
    std::vector<Frame> game = example();
    uint64_t begin = game.front().timeNs, end = game.back().timeNs;
    std::vector<Frame> late(game.begin() + exampleHandshake, game.end());
    struct Case {
        const char *name;
        const std::vector<Frame> &game;
        std::vector<std::vector<Frame>> others;
    };
    std::vector<Case> cases = {
        {"voice", game, {voice(begin - 100 * s, end)}},
        {"all at once",
         game,
         {voice(begin - 60 * s, end), dnsAnswers(begin - 30 * s, end, 500 * ms),
          flood(begin - 5 * s, end, 5000), oneWay(begin - 10 * s, end, 3, 50)}},
        {"joined late",
         late,
         {voice(begin - 30 * s, end), dnsAnswers(begin - 30 * s, end, 500 * ms),
          flood(begin - 5 * s, begin, 3000), oneWay(begin - 10 * s, end, 3, 50)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        write("alone.pcapng", capwrite::pcapng(c.game, {{1, 6}}));
        Mixed mixed = mix(c.game, c.others);
        write("noisy.pcapng", capwrite::pcapng(mixed.frames, {{1, 6}}));
        Outcome alone = run("--format jsonl alone.pcapng");
        ASSERT_EQ(alone.status, 0) << alone.err;
        ASSERT_NE(alone.out.find("SprintHook"), std::string::npos);
        ASSERT_NE(alone.out.find("\"keys\""), std::string::npos);
        Outcome noisy = run("--format jsonl noisy.pcapng");
        ASSERT_EQ(noisy.status, 0) << noisy.err;
        EXPECT_EQ(placedByTheGame(noisy.out, mixed.gameRecord), alone.out);
        // What was around the game is told on standard error, once each.
        if (std::string(c.name) != "joined late") {
            EXPECT_NE(noisy.err.find("no game server's traffic in the first 10 s of the "
                                     "capture: "),
                      std::string::npos)
                << noisy.err;
            EXPECT_NE(noisy.err.find("records before the game's connection were not kept"),
                      std::string::npos)
                << noisy.err;
        }
#if !defined(_WIN32)
        // Through a pipe, written in pieces of a few sizes: the same (the
        // reader's own tests take pieces down to single bytes).
        for (const char *piece : {"61", "4096"}) {
            Outcome piped = runProgram("/bin/sh",
                                       std::string("-c \"dd if=noisy.pcapng bs=") + piece +
                                           " 2>/dev/null | '" NORVI_REPLAY "' --format jsonl -\"",
                                       dir, dir / "tmp");
            ASSERT_EQ(piped.status, 0) << piped.err;
            EXPECT_EQ(piped.out, noisy.out) << "pieces of " << piece;
        }
#endif
    }
}

// A capture with no game in it: once on standard error while reading, the
// refusal at the end, exit 2.
TEST_F(ReplayNoise, ACaptureWithNoGameSaysWhatItSaw) {
    write("voice.pcap", capwrite::pcap(voice(start, start + 20 * second), 1));
    Outcome o = run("voice.pcap");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "norvi-replay: voice.pcap: no game server's traffic in the first 10 s of the "
                     "capture: 1,001 datagrams in 2 flows; the busiest: 10.0.0.5:40000 -> "
                     "10.0.0.6:40002 (501), 10.0.0.6:40002 -> 10.0.0.5:40000 (500). Still waiting "
                     "for it (a capture filter on the server's port, or --server HOST:PORT, "
                     "leaves other traffic out)\n"
                     "norvi-replay: voice.pcap: found no game server's traffic in the capture; "
                     "name the server with --server HOST:PORT\n");
}
