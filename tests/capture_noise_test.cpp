// A game among other traffic, as a capture taken with a loose filter holds
// it: the game is found whenever it comes, in bounded memory, and reads the
// same as the game alone, whatever pieces the capture comes in.
#include "capture.h"
#include "capture_scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

using namespace capwrite;
using namespace scenes;

namespace {

// One event as a short line.
struct Describe {
    std::string operator()(const replay::SetTick &e) { return "tick " + std::to_string(e.tick); }
    std::string operator()(const replay::Frames &e) { return "frame " + std::to_string(e.count); }
    std::string operator()(const replay::Packet &e) {
        return "packet " + std::to_string(e.bitCount) + " " +
               std::string(e.bytes.begin(), e.bytes.end());
    }
    std::string operator()(const replay::Rpc &e) {
        return "rpc " + std::to_string(e.id) + " " + std::string(e.data.begin(), e.data.end());
    }
    std::string operator()(const replay::SetPlayer &e) {
        return "player " + std::to_string(e.id) + (e.name && *e.name ? " " + **e.name : "");
    }
    template <class Other> std::string operator()(const Other &) { return "setting"; }
};

// A capture handed over in pieces of `piece` bytes, as a pipe gives them
// (0: all that is asked for).
class Pieces : public capture::ByteSource {
  public:
    Pieces(const Bytes &bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    size_t read(unsigned char *to, size_t most) override {
        size_t n = std::min(most, bytes_.size() - at_);
        if (piece_ != 0)
            n = std::min(n, piece_);
        std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

  private:
    const Bytes &bytes_;
    size_t piece_, at_ = 0;
};

struct Played {
    capture::Result result;
    std::vector<std::string> events; // "RECORD: event"
    std::vector<std::string> waiting;
};

// `gameRecord`: each record's number in the game alone, to place events by
// the game's own records; empty to keep the capture's numbers.
Played play(const Bytes &file, const std::vector<uint64_t> &gameRecord = {}, size_t piece = 0) {
    Played run;
    capture::Options options;
    options.onWaiting = [&run](const std::string &line) { run.waiting.push_back(line); };
    Pieces in(file, piece);
    run.result = capture::readCapture(in, options, [&](const replay::Event &e, uint64_t record) {
        std::string place = std::to_string(record);
        if (!gameRecord.empty())
            place = record == 0 || gameRecord[static_cast<size_t>(record - 1)] == 0
                        ? "other traffic " + place
                        : std::to_string(gameRecord[static_cast<size_t>(record - 1)]);
        run.events.push_back(place + ": " + std::visit(Describe{}, e));
    });
    return run;
}

// Notes with the records they name numbered as in the game alone.
std::vector<std::string> placedByTheGame(std::vector<std::string> notes,
                                         const std::vector<uint64_t> &gameRecord) {
    static const std::regex record("record ([0-9]+)");
    for (std::string &note : notes) {
        std::smatch m;
        if (std::regex_search(note, m, record))
            note = m.prefix().str() + "record " +
                   std::to_string(gameRecord[static_cast<size_t>(std::stoull(m[1].str()) - 1)]) +
                   m.suffix().str();
    }
    return notes;
}

const uint64_t s = second;

} // namespace

// The example session with other traffic before and during it gives the
// same events, placed on the same records of the game, as the session
// alone: from a whole file and from pieces of any size.
TEST(CaptureNoise, AGameAmongOtherTrafficReadsAsTheGameAlone) {
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
        {"name lookups", game, {dnsAnswers(begin - 30 * s, end, 250 * ms)}},
        {"a flood of flows", game, {flood(begin - 10 * s, begin, 20000), flood(begin, end, 300)}},
        {"busy one-way flows", game, {oneWay(begin - 20 * s, end, 4, 100)}},
        {"all at once",
         game,
         {voice(begin - 30 * s, end), dnsAnswers(begin - 30 * s, end, 500 * ms),
          flood(begin - 5 * s, end, 3000), oneWay(begin - 10 * s, end, 3, 50)}},
        // Found by its message blocks at the end, after floods that filled
        // the table of flows several times over.
        {"joined late",
         late,
         {voice(begin - 30 * s, end), dnsAnswers(begin - 30 * s, end, 500 * ms),
          flood(begin - 5 * s, begin, 10000), flood(begin, end, 2000),
          oneWay(begin - 10 * s, end, 3, 50)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Played alone = play(pcap(c.game, 1));
        ASSERT_EQ(alone.result.error, "");
        ASSERT_TRUE(std::any_of(alone.events.begin(), alone.events.end(), [](const auto &e) {
            return e.find("rpc 126") != std::string::npos;
        }));
        Mixed mixed = mix(c.game, c.others);
        Bytes file = pcap(mixed.frames, 1);
        for (size_t piece : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
            SCOPED_TRACE(piece);
            Played noisy = play(file, mixed.gameRecord, piece);
            ASSERT_EQ(noisy.result.error, "");
            EXPECT_EQ(capture::text(noisy.result.server), "192.168.10.10:7777");
            EXPECT_EQ(noisy.events, alone.events);
            EXPECT_EQ(placedByTheGame(noisy.result.report.notes, mixed.gameRecord),
                      alone.result.report.notes);
        }
    }
}

// Datagrams that only look like the server's side of a handshake make
// none: the reply must answer the client's request.
TEST(CaptureNoise, AHandshakeIsTheClientsRequestAnswered) {
    std::vector<Frame> game = example();
    // The server's cookie request and reply, the client's requests left out.
    std::vector<Frame> unanswered = {game[1], game[3]};
    Played replies = play(pcap(unanswered, 1));
    EXPECT_EQ(replies.result.error, "found no game server's traffic in the capture; name the "
                                    "server with --server HOST:PORT");
    // A flood of one-datagram flows, a fifth of them a connection reply,
    // others a cookie request or a message block, names no server.
    Played flooded = play(pcap(flood(start, start + 10 * s, 5000), 1));
    EXPECT_EQ(flooded.result.error, replies.result.error);
    // Nor do one-way flows of message blocks, however busy.
    Played oneWays = play(pcap(oneWay(start, start + 10 * s, 3, 100), 1));
    EXPECT_EQ(oneWays.result.error, replies.result.error);
}

// A stream waits for the game as long as it runs: the held records are the
// latest ones, the oldest dropped and counted, and after ten seconds of
// capture time it says once what it has seen.
TEST(CaptureNoise, TheGameIsFoundWhenItComesAndTheWaitIsToldOnce) {
    std::vector<Frame> game = example();
    uint64_t begin = game.front().timeNs;
    Mixed mixed = mix(game, {voice(begin - 120 * s, begin), dnsAnswers(begin - 5 * s, begin, s)});
    Played run = play(pcap(mixed.frames, 1), mixed.gameRecord);
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(run.waiting,
              std::vector<std::string>{
                  "no game server's traffic in the first 10 s of the capture: 1,001 datagrams in "
                  "2 flows; the busiest: 10.0.0.5:40000 -> 10.0.0.6:40002 (501), 10.0.0.6:40002 "
                  "-> 10.0.0.5:40000 (500). Still waiting for it (a capture filter on the "
                  "server's port, or --server HOST:PORT, leaves other traffic out)"});
    // Found at the reply, the handshake's fourth record: what came before
    // it beyond the window was not kept.
    uint64_t reply =
        static_cast<uint64_t>(std::find(mixed.gameRecord.begin(), mixed.gameRecord.end(), 4u) -
                              mixed.gameRecord.begin() + 1);
    EXPECT_EQ(run.result.report.notKept, reply - capture::maxHeldRecords);
    EXPECT_EQ(capture::messagesOf(run.result).front(),
              capture::countText(reply - capture::maxHeldRecords) +
                  " records before the game's connection were not kept (the latest 4,096 are "
                  "held while the game is looked for)");
    EXPECT_EQ(run.events, play(pcap(game, 1)).events);

    // Without a game: the same word once, then at the end the refusal.
    Played none = play(pcap(voice(begin, begin + 30 * s), 1));
    EXPECT_EQ(none.waiting.size(), 1u);
    EXPECT_EQ(none.result.error, "found no game server's traffic in the capture; name the "
                                 "server with --server HOST:PORT");
    EXPECT_TRUE(play(pcap(game, 1)).waiting.empty());
}

// A capture taken on a busy server: the first client's view runs, a few
// others are named and the rest told of in one line.
TEST(CaptureNoise, OnABusyServerAFewOtherClientsAreNamed) {
    Played run = play(pcap(serverWithClients(300, 1), 1));
    ASSERT_EQ(run.result.error, "");
    EXPECT_EQ(capture::text(run.result.server), "192.168.10.10:7777");
    EXPECT_EQ(std::count_if(run.events.begin(), run.events.end(),
                            [](const std::string &e) { return e.find("packet") != e.npos; }),
              30)
        << "ten datagrams of three packets to the client followed";
    const std::vector<std::string> &notes = run.result.report.notes;
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[0], "the server also sent 11 datagrams to another client, 10.0.0.3:50001, "
                        "from record 4: --client 10.0.0.3:50001 would follow it instead");
    EXPECT_EQ(notes[5], "the server also sent 3,234 datagrams to 251 or more other clients "
                        "(--client HOST:PORT follows one of them)");
}
