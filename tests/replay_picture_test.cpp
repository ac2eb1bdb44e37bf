// The replay tool's pictures, rendered by librsvg and checked pixel by
// pixel: the screen at the end (key column and chat) and the timeline of a
// whole session, with the shadow of the sprint-hook heuristic behind its
// faint marks checked against the plugin itself.
#include "picture_render.h"
#include "plugin_fixture.h"
#include "screen_svg.h"
#include "suspect.h"
#include "sync_packet.h"
#include "timeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const Rgb held = {0x44, 0xFF, 0x44};
const Rgb released = {0xFF, 0x44, 0x44};
const Rgb warningRed = {0xD0, 0x10, 0x10};
const Rgb paleRed = {0xEF, 0xBF, 0xBF};
const Rgb runBand = {0xF6, 0xB3, 0xB3}; // #F08080 at 0.6 over white
const Rgb spectatedGrey = {0xE4, 0xE4, 0xE4};
const Rgb barGreen = {0x2D, 0xB8, 0x2D};

// Windows-1251 labels of the key column in draw order.
const char *const labels[8] = {"\xCB\xCA\xCC", "\xCF\xCA\xCC", "C",   "SPRINT",
                               "JUMP",         "ALT",          "TAB", "F"};

host::TextDrawn label(int row, uint32_t colour, float x, float y) {
    return {labels[row], colour, x, y, false, false, {0, 0, 0, 0}, 1};
}

// ---- The screen at the end ----

TEST(ScreenPicture, KeyLabelsStandInTheLineThePluginDrewThemIn) {
    // Rows 15 pixels apart in alternating colours: a label drawn a line too
    // high or too low would put its colour in a neighbour's box.
    replay::Screen screen;
    for (int row = 0; row < 8; row++)
        screen.labels.push_back(label(row, row % 2 ? 0xFFFF4444 : 0xFF44FF44, 500.0f,
                                      300.0f + 15.0f * static_cast<float>(row)));
    Image image = rendered(replay::svgOfScreen(screen));
    ASSERT_EQ(image.error, "");
    ASSERT_EQ(image.width, 1920);
    for (int row = 0; row < 8; row++) {
        int top = 300 + 15 * row;
        Rgb own = row % 2 ? released : held, other = row % 2 ? held : released;
        EXPECT_GT(image.count(500, top, 560, top + 15, own), 5) << "row " << row;
        EXPECT_EQ(image.count(500, top, 560, top + 15, other), 0) << "row " << row;
    }
    EXPECT_EQ(image.count(500, 280, 560, 300, held), 0) << "nothing above the first row";
}

TEST(ScreenPicture, ScreenSizeAndTransparencyAreThoseInForceAtTheEnd) {
    replay::Screen screen;
    screen.width = 800;
    screen.height = 600;
    screen.labels.push_back(label(3, 0x00FF4444, 100, 100)); // opacity 0: drawn invisible
    Image image = rendered(replay::svgOfScreen(screen));
    ASSERT_EQ(image.error, "");
    EXPECT_EQ(image.width, 800);
    EXPECT_EQ(image.height, 600);
    EXPECT_EQ(image.count(100, 100, 160, 115, released), 0);
}

TEST(ScreenPicture, AFontHeightNoFontHasFallsBackToTheDefault) {
    for (float height : {0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        replay::Screen screen;
        screen.fontHeight = height;
        screen.labels.push_back(label(3, 0xFF44FF44, 100, 100));
        Image image = rendered(replay::svgOfScreen(screen));
        ASSERT_EQ(image.error, "") << height;
        EXPECT_GT(image.count(100, 100, 160, 114, held), 5) << height;
    }
}

// Twelve lines in twelve colours.
const uint32_t palette[12] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFF00,
                              0x00FF00FF, 0x0000FFFF, 0x00FF8000, 0x008000FF,
                              0x0080FF00, 0x00FFFFFF, 0x00000000, 0x00FF0080};
Rgb rgbOf(uint32_t c) {
    return {static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF),
            static_cast<int>(c & 0xFF)};
}

TEST(ScreenPicture, ChatKeepsTheLastTenLinesNewestAtTheBottomInTheirColours) {
    replay::Screen screen;
    for (int i = 0; i < 12; i++)
        replay::noteChat(screen, {palette[i], "MMMMMMMM line " + std::to_string(i)});
    ASSERT_EQ(screen.chat.size(), 10u);
    EXPECT_EQ(screen.chat.front().text, "MMMMMMMM line 2");

    Image image = rendered(replay::svgOfScreen(screen));
    ASSERT_EQ(image.error, "");
    // The chat area's lines are 22 pixels from y = 10, at the left; the
    // posted colour's opacity byte (0 here) does not hide the line.
    for (int slot = 0; slot < 10; slot++) {
        int top = 10 + 22 * slot;
        Rgb colour = rgbOf(palette[slot + 2]);
        if (palette[slot + 2] == 0x00000000)
            continue; // black is the shadow's colour too
        EXPECT_GT(image.count(30, top, 330, top + 22, colour, 30), 20) << "slot " << slot;
    }
    EXPECT_EQ(image.count(0, 0, 1920, 1080, rgbOf(palette[0]), 30), 0) << "a dropped line";
    EXPECT_EQ(image.count(0, 0, 1920, 1080, rgbOf(palette[1]), 30), 0) << "a dropped line";
}

TEST(ScreenPicture, AFewChatLinesStandAtTheBottomOfTheChatArea) {
    replay::Screen screen;
    replay::noteChat(screen, {0x00FF0000, "MMMMMMMM first"});
    replay::noteChat(screen, {0x000000FF, "MMMMMMMM second"});
    Image image = rendered(replay::svgOfScreen(screen));
    ASSERT_EQ(image.error, "");
    EXPECT_GT(image.count(30, 10 + 22 * 8, 330, 10 + 22 * 9, {255, 0, 0}, 30), 20);
    EXPECT_GT(image.count(30, 10 + 22 * 9, 330, 10 + 22 * 10, {0, 0, 255}, 30), 20);
    EXPECT_EQ(image.count(0, 0, 400, 10 + 22 * 8, {255, 0, 0}, 30), 0);
}

TEST(ScreenPicture, ColourTagsSwitchTheColourOfWhatFollows) {
    // The warning line's shape: the prefix in the posted colour, the
    // player's part in the tag's.
    replay::Screen screen;
    replay::noteChat(screen, {0x00FF2B2B, "[norvi warnings]: {00ff00}MMMMMM{0000FF}WWWWWW"});
    std::string svg = replay::svgOfScreen(screen);
    EXPECT_EQ(svg.find("{00ff00}"), std::string::npos) << "a tag is not text";
    Image image = rendered(svg);
    ASSERT_EQ(image.error, "");
    int top = 10 + 22 * 9;
    auto firstColumn = [&](Rgb colour) {
        for (int x = 0; x < 1920; x++)
            if (image.count(x, top, x + 1, top + 22, colour, 30) > 0)
                return x;
        return -1;
    };
    int red = firstColumn({0xFF, 0x2B, 0x2B}), green = firstColumn({0, 0xFF, 0}),
        blue = firstColumn({0, 0, 0xFF});
    ASSERT_GE(red, 0);
    EXPECT_LT(red, green);
    EXPECT_LT(green, blue);
}

TEST(ScreenPicture, TextThatIsNotATagOrNotXmlIsShownAsText) {
    // Braces that are no tag stay; markup and control characters from a
    // player's name cannot break the picture.
    replay::Screen screen;
    replay::noteChat(screen, {0x00FFFFFF, "{12345}{GGGGGG}{00ff00"});
    replay::noteChat(screen, {0x00FFFFFF, "<b>&amp;\"'\x01\x1B[31m </svg>"});
    screen.labels.push_back(label(0, 0xFF44FF44, 10, 10));
    screen.labels.back().text = "<x>\x07";
    std::string svg = replay::svgOfScreen(screen);
    EXPECT_NE(svg.find("{12345}{GGGGGG}{00ff00"), std::string::npos);
    EXPECT_NE(svg.find("&lt;b&gt;&amp;amp;&quot;&apos;??[31m &lt;/svg&gt;"), std::string::npos);
    EXPECT_NE(svg.find("&lt;x&gt;?"), std::string::npos);
    EXPECT_EQ(rendered(svg).error, "");
}

// ---- The shadow of the sprint-hook heuristic ----

struct SyncShape {
    uint16_t player = 17;
    uint16_t keys = 0x08; // SPRINT
    float speed = 0.2f;   // 20 in the game's units: above 14.9
    std::optional<host::SyncPacket::Animation> animation;
    bool dead = false; // health 0: the plugin drops the packet
};

host::Packet syncPacket(const SyncShape &s) {
    host::SyncPacket p;
    p.playerId = s.player;
    p.keys = s.keys;
    p.velocityLength = s.speed;
    p.velocityDirections[0] = host::unitWord(1.0);
    p.velocityDirections[1] = host::unitWord(0.0);
    p.velocityDirections[2] = host::unitWord(0.0);
    p.animation = s.animation;
    if (s.dead)
        p.healthArmour = 0x0F;
    return host::encodeSync(p);
}

class SuspectShadow : public PluginTest {};

TEST_F(SuspectShadow, WarnsExactlyWhenThePluginDoes) {
    // A long pseudo-random mix of packets around every threshold, for three
    // players: wherever the shadow's run reaches five and the player's last
    // line is 8500 ms old, the plugin must post a line, and nowhere else.
    startPlugin();
    replay::SuspectTracker shadow;
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    const float speeds[] = {0.1f, 0.149f, 0.14900002f, 0.2f, 0.5f, 0.3f, 0.2f, 0.4f};
    const host::SyncPacket::Animation animations[] = {
        {1228, 0x8002}, {1228, 0}, {0, 0x8002}, {0, 0}};
    uint32_t tick = 1000000;
    uint32_t lastLine[3] = {0, 0, 0};
    int lines = 0, runsOfFive = 0;
    for (int i = 0; i < 100000; i++) {
        // Whole tens of milliseconds, so that the limits themselves come up.
        tick += next(8) == 0 ? 200 + 10 * next(10) : 10 * (2 + next(4));
        host::setTick(tick);
        SyncShape s;
        s.player = static_cast<uint16_t>(next(3));
        s.keys = static_cast<uint16_t>((next(20) ? 0x08 : 0) | (next(15) ? 0 : 0x20));
        s.speed = speeds[next(8)];
        if (next(2))
            s.animation = animations[next(5) ? 0 : next(4)];
        s.dead = next(50) == 0;
        host::Packet packet = syncPacket(s);
        host::clearEffects();
        host::deliver(packet);
        replay::SuspectTracker::Step step =
            shadow.packet(packet.bytes.data(), packet.bitCount, 207, tick);
        bool due = step.decoded && step.run >= 5 && tick - lastLine[step.player] >= 8500;
        ASSERT_EQ(host::effects().size(), due ? 1u : 0u) << "packet " << i;
        if (due) {
            lastLine[step.player] = tick;
            lines++;
        }
        runsOfFive += step.run == 5;
    }
    EXPECT_GT(lines, 5) << "the mix must reach the warning";
    EXPECT_GT(runsOfFive, lines) << "and runs the 8.5 s gap keeps silent";
}

TEST(SuspectTracker, ReportsTheRunsThatEndAndIgnoresWhatThePluginIgnores) {
    replay::SuspectTracker shadow;
    auto feed = [&](const SyncShape &s, uint32_t tick, int id = 207) {
        host::Packet p = syncPacket(s);
        return shadow.packet(p.bytes.data(), p.bitCount, id, tick);
    };
    // A player's first packet never counts: the previous one is long ago.
    EXPECT_FALSE(feed({}, 1000000).suspect);
    EXPECT_EQ(feed({}, 1000100).run, 1);
    EXPECT_EQ(feed({}, 1000200).run, 2);
    EXPECT_EQ(feed({}, 1000300).run, 3);
    // Another id, and another player, leave the run alone.
    EXPECT_FALSE(feed({}, 1000350, 206).decoded);
    SyncShape other;
    other.player = 1000;
    EXPECT_FALSE(feed(other, 1000360).decoded);
    // A packet that is not suspect ends the run and tells its length, which
    // the packets above did not touch.
    SyncShape slow;
    slow.speed = 0.1f;
    replay::SuspectTracker::Step step = feed(slow, 1000400);
    EXPECT_TRUE(step.decoded);
    EXPECT_FALSE(step.suspect);
    EXPECT_EQ(step.runEnded, 3);
    EXPECT_EQ(step.run, 0);
    EXPECT_EQ(feed({}, 1000500).run, 1) << "a new run";
    EXPECT_TRUE(replay::SuspectTracker::shortOfWarning(4));
    EXPECT_FALSE(replay::SuspectTracker::shortOfWarning(5));
    EXPECT_FALSE(replay::SuspectTracker::shortOfWarning(0));
}

// ---- The timeline ----

// Pixel column of `seconds` in a timeline of `end` seconds.
int columnOf(double seconds, double end) {
    return static_cast<int>(replay::Timeline::plotLeft +
                            seconds / end * replay::Timeline::plotWidth);
}

// The rows (top, bottom) in column `x` where `colour` is.
std::vector<std::pair<int, int>> runsIn(const Image &image, int x, Rgb colour, int tolerance = 24) {
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < image.height; y++) {
        if (image.count(x, y, x + 1, y + 1, colour, tolerance) == 0)
            continue;
        if (!runs.empty() && runs.back().second == y)
            runs.back().second = y + 1;
        else
            runs.push_back({y, y + 1});
    }
    return runs;
}

std::vector<host::TextDrawn> column(uint8_t heldMask) {
    std::vector<host::TextDrawn> column;
    column.reserve(8);
    for (int row = 0; row < 8; row++)
        column.push_back(label(row, heldMask & (1 << row) ? 0xFF44FF44 : 0xFFFF4444, 0, 0));
    return column;
}

TEST(TimelinePicture, WarningsAndShortRunsAreMarkedInTheirPlayersRows) {
    // One minute: player 17 runs three suspect packets at 10 s and is
    // warned at 30 s; player 5 is warned at 50 s.
    replay::Timeline timeline;
    replay::SuspectTracker tracker;
    uint32_t tick = 1000000;
    auto send = [&](const SyncShape &s, double seconds) {
        host::Packet p = syncPacket(s);
        timeline.packet(tracker.packet(p.bytes.data(), p.bitCount, 207,
                                       tick + static_cast<uint32_t>(seconds * 1000)),
                        seconds);
    };
    for (double t : {9.6, 9.7, 9.8, 9.9})
        send({}, t);
    SyncShape slow;
    slow.speed = 0.1f;
    send(slow, 10.0);
    timeline.warning(17, "Seventeen", 30);
    timeline.warning(5, "Five", 50, 45); // its evidence from 45 s on
    // Player 30 is never warned, and his run is still open at the end.
    SyncShape thirty;
    thirty.player = 30;
    for (double t : {55.0, 55.1, 55.2})
        send(thirty, t);
    std::string svg = timeline.svg(60);
    EXPECT_NE(svg.find("Seventeen [17]: 1 warning"), std::string::npos);
    EXPECT_NE(svg.find("never warned who had such runs, by id: 30 (1 run)."), std::string::npos);
    Image image = rendered(svg);
    ASSERT_EQ(image.error, "");

    auto row17 = runsIn(image, columnOf(30, 60) + 1, warningRed);
    auto row5 = runsIn(image, columnOf(50, 60) + 1, warningRed);
    ASSERT_EQ(row17.size(), 1u);
    ASSERT_EQ(row5.size(), 1u);
    EXPECT_LT(row5[0].second, row17[0].first) << "rows in order of player id";
    auto faint = runsIn(image, columnOf(9.9, 60) + 1, paleRed, 12);
    ASSERT_EQ(faint.size(), 1u);
    EXPECT_GE(faint[0].first, row17[0].first);
    EXPECT_LE(faint[0].second, row17[0].second);
    EXPECT_TRUE(runsIn(image, columnOf(20, 60) + 1, warningRed).empty());
    // Player 5's run is a band from 45 s to the warning, in its row only.
    auto band = runsIn(image, columnOf(47, 60), runBand, 6);
    ASSERT_EQ(band.size(), 1u);
    EXPECT_GE(band[0].first, row5[0].first);
    EXPECT_LE(band[0].second, row5[0].second);
    EXPECT_TRUE(runsIn(image, columnOf(44, 60), runBand, 6).empty());
    EXPECT_TRUE(runsIn(image, columnOf(25, 60), runBand, 6).empty()) << "player 17's has none";
}

TEST(TimelinePicture, KeysAreBarsWhileHeldAndSpectateChangesAreMarked) {
    // Spectating from 0 s to 40 s; SPRINT held from 10 s to 20 s.
    replay::Timeline timeline;
    timeline.spectate(12, 0);
    for (int i = 0; i < 400; i++) {
        double t = i * 0.1;
        timeline.pass(column(t >= 10 && t < 20 ? 0x08 : 0), t);
    }
    timeline.spectate(std::nullopt, 40);
    Image image = rendered(timeline.svg(60));
    ASSERT_EQ(image.error, "");

    auto bars = runsIn(image, columnOf(15, 60), barGreen);
    ASSERT_EQ(bars.size(), 1u) << "one key held";
    auto greyAt5 = runsIn(image, columnOf(5, 60), spectatedGrey, 8);
    EXPECT_EQ(greyAt5.size(), 8u) << "all eight rows spectated, none held";
    EXPECT_EQ(bars[0], greyAt5[3]) << "the fourth row, SPRINT";
    EXPECT_TRUE(runsIn(image, columnOf(25, 60), barGreen).empty());
    EXPECT_TRUE(runsIn(image, columnOf(50, 60), spectatedGrey, 8).empty()) << "nobody spectated";

    // A dark line where spectating started and where it ended.
    Rgb line = {0x33, 0x33, 0x33};
    EXPECT_FALSE(runsIn(image, columnOf(40, 60), line, 16).empty());
    EXPECT_TRUE(runsIn(image, columnOf(30, 60), line, 16).empty());
}

TEST(TimelinePicture, TimesOutOfOrderOrOutOfRangeStillGiveAPicture) {
    // The first event is at 0 s; a time before it, one that is no number
    // and one that never ends are placed at the edges, and nothing hangs.
    const double inf = std::numeric_limits<double>::infinity();
    replay::Timeline timeline;
    timeline.spectate(3, 20);
    timeline.pass(column(0x08), 10); // before the spectate: ends nowhere
    timeline.warning(17, "Late", inf);
    timeline.warning(17, "Late", 5);
    timeline.warning(18, "Early", -1);
    timeline.warning(19, "Nan", std::numeric_limits<double>::quiet_NaN());
    timeline.spectate(-1, 1e300);
    std::string svg = timeline.svg(inf);
    EXPECT_NE(svg.find("Late [17]: 2 warnings"), std::string::npos);
    EXPECT_EQ(rendered(svg).error, "");
}

TEST(TimelinePicture, AnHourStaysReadableAndItsPictureSmall) {
    // Twenty warnings within a second are one mark; the picture of ten hours
    // is no bigger than that of one; the last warning is at the right edge.
    auto session = [](int hours) {
        replay::Timeline timeline;
        double end = hours * 3600;
        for (int halves = 0; halves < hours * 7200; halves++) {
            double t = halves / 2.0;
            if (static_cast<long long>(t) % 60 == 0)
                timeline.spectate(static_cast<int>(t / 60) % 7, t);
            timeline.pass(column(static_cast<uint8_t>(halves / 2 % 256)), t);
        }
        for (int i = 0; i < 20; i++)
            timeline.warning(17, "Runner", end / 2 + i * 0.05);
        timeline.warning(17, "Runner", end - 1);
        return timeline.svg(end);
    };
    std::string hour = session(1), tenHours = session(10);
    EXPECT_LT(hour.size(), 400000u);
    EXPECT_LT(tenHours.size(), hour.size() * 3 / 2);
    Image image = rendered(hour);
    ASSERT_EQ(image.error, "");
    int marks = 0;
    for (int x = columnOf(0, 1), last = -2; x < columnOf(1, 1); x++)
        if (!runsIn(image, x, warningRed).empty()) {
            marks += x != last + 1;
            last = x;
        }
    EXPECT_EQ(marks, 2) << "the burst and the last one";
    EXPECT_FALSE(runsIn(image, columnOf(3599, 3600) + 1, warningRed).empty());
}

// ---- Both pictures from the tool itself ----

TEST(ReplayPictures, TheToolDrawsWhatThePluginShowedAndWarned) {
    // Player 5, in green, is spectated while sprint-hooking: the sixth
    // packet posts the warning (the first never counts).
    fs::path dir = fs::temp_directory_path() / ("norvi-pictures-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string trace = "{\"player\": 5, \"name\": \"Runner\", \"color\": \"FF00FF00\"}\n"
                        "{\"frame\": 1}\n{\"spectate\": 5}\n";
    for (int i = 0; i < 6; i++)
        trace += "{\"advance\": 100}\n"
                 "{\"sync\": {\"player\": 5, \"keys\": 8, \"velocity\": [0, 0.2, 0]}}\n";
    trace += "{\"frame\": 1}\n{\"advance\": 9000}\n{\"frame\": 1}\n";
    std::ofstream(dir / "t.jsonl") << trace;
    std::string command = std::string("'") + NORVI_REPLAY + "' --svg '" + (dir / "s.svg").string() +
                          "' --timeline '" + (dir / "t.svg").string() + "' '" +
                          (dir / "t.jsonl").string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto read = [&](const char *name) {
        std::ifstream in(dir / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    Image screen = rendered(read("s.svg")), timeline = rendered(read("t.svg"));
    fs::remove_all(dir);
    ASSERT_EQ(screen.error, "");
    ASSERT_EQ(timeline.error, "");

    // The warning is the newest chat line, at the bottom: the prefix in the
    // plugin's red, the name in the player's green.
    int bottom = 10 + 22 * 9;
    EXPECT_GT(screen.count(30, bottom, 400, bottom + 22, {0xFF, 0x2B, 0x2B}, 30), 20);
    EXPECT_GT(screen.count(30, bottom, 400, bottom + 22, {0x00, 0xFF, 0x00}, 30), 20);
    // SPRINT, the fourth label of the column at the fresh folder's (0, 0),
    // is held.
    EXPECT_GT(screen.count(0, 45, 60, 60, held, 30), 5);

    // The timeline: one warned player, his mark at 0.6 s of 9.6.
    auto marks = runsIn(timeline, columnOf(0.6, 9.6) + 1, warningRed);
    EXPECT_EQ(marks.size(), 1u);
}

} // namespace
