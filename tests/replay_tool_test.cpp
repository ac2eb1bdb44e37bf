// norvi-replay end to end: the program run on small traces, its transcript
// line for line, its errors and exit statuses, the game folder and the
// picture.
#include "replay_fixture.h"
#include "tool_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class ReplayTool : public ReplayFolderTest {
  protected:
    ReplayTool() : ReplayFolderTest("norvi-replay-test") {}
    fs::path write(const std::string &name, const std::string &text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }
};

const char startUp[] =
    R"({"profile": ["key_pos", "key_x", "457.000000"]}
{"profile": ["key_pos", "key_y", "274.192596"]}
{"font": ["Tahoma", 11, 5]}
{"registered": "command", "name": "norvi_setpos"}
{"registered": "d3d", "method": 17}
{"registered": "raknet", "type": 3}
{"registered": "raknet", "type": 2}
{"chat": "{BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: {FF4444}kesmaro", "color": "00009BCD"}
)";

// Starts the plugin and puts the key column's top-left corner at window
// (100, 200) with the command and a click, so that the places drawn below
// do not hang on the stored default.
const char placeColumn[] = R"({"frame": 1}
{"command": "norvi_setpos"}
{"cursor": [100, 200]}
{"frame": 1}
{"lmb": true}
{"frame": 1}
{"lmb": false}
)";

// What placeColumn adds to the start-up in the transcript: the click's
// frame ends the mode before its render pass, which draws nothing.
const char columnPlaced[] =
    R"({"cursor": true}
{"draw": [["ЛКМ", "FFFF4444", 100, 200], ["ПКМ", "FFFF4444", 100, 215], ["C", "FFFF4444", 100, 230], ["SPRINT", "FFFF4444", 100, 245], ["JUMP", "FFFF4444", 100, 260], ["ALT", "FFFF4444", 100, 275], ["TAB", "FFFF4444", 100, 290], ["F", "FFFF4444", 100, 305]]}
{"profile": ["key_pos", "key_x", "33.333336"]}
{"profile": ["key_pos", "key_y", "82.962959"]}
{"cursor": false}
)";

} // namespace

TEST_F(ReplayTool, StartUpIsTranscribedLineForLine) {
    write("t.jsonl", "{\"frame\": 1}\n");
    Outcome r = run("t.jsonl");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.unplaced(), startUp);
    EXPECT_EQ(r.err, "");
}

TEST_F(ReplayTool, NothingReachesThePluginBeforeItIsReady) {
    // Packets and RPCs before start-up pass unseen; a game in another state
    // or a client not ready holds start-up back.
    write("t.jsonl", R"({"spectate": 1}
{"game": null}
{"frame": 2}
{"game": 8}
{"frame": 1}
{"game": 9}
{"sampReady": false}
{"frame": 1}
{"command": "norvi_setpos"}
)");
    Outcome r = run("t.jsonl");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(ReplayTool, KeysWarningsAndTheCommandAreTranscribed) {
    write("t.jsonl",
          std::string(placeColumn) + R"({"player": 5, "name": "Вася", "color": "FF112233"}
{"spectate": 5}
{"sync": {"player": 5, "keys": 40}}
{"fontHeight": 10}
{"frame": 1}
{"command": "norvi_setpos"}
)");
    Outcome r = run("t.jsonl");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.unplaced(),
        std::string(startUp) + columnPlaced +
            // 0x28: SPRINT and JUMP held; rows one pixel more than the font's height apart.
            R"({"draw": [["ЛКМ", "FFFF4444", 100, 200], ["ПКМ", "FFFF4444", 100, 211], ["C", "FFFF4444", 100, 222], ["SPRINT", "FF44FF44", 100, 233], ["JUMP", "FF44FF44", 100, 244], ["ALT", "FFFF4444", 100, 255], ["TAB", "FFFF4444", 100, 266], ["F", "FFFF4444", 100, 277]]}
{"chat": "[norvi warnings]: {BEBEBE}нужно выйти из режима наблюдения", "color": "00FF2B2B"}
)");
}

TEST_F(ReplayTool, TheSprintWarningNamesThePlayerInTheirColour) {
    std::string trace = "{\"player\": 17, \"name\": \"Bob\", \"color\": \"FFE0C020\"}\n"
                        "{\"frame\": 1}\n";
    for (int i = 0; i < 6; i++)
        trace += "{\"advance\": 100}\n"
                 "{\"sync\": {\"player\": 17, \"keys\": 8, \"velocity\": [0.2, 0, 0]}}\n";
    write("t.jsonl", trace);
    Outcome r = run("t.jsonl");
    EXPECT_EQ(
        r.unplaced()
            .substr(sizeof startUp - 1)
            .rfind("{\"chat\": \"[norvi warnings]: {e0c020}Bob[17] возможно SprintHook\", "
                   "\"color\": \"00FF2B2B\", \"warning\": {\"player\": 17, \"name\": \"Bob\", ",
                   0),
        0u)
        << r.out;
}

TEST_F(ReplayTool, RawPacketsAndRpcsReachTheHooks) {
    // RPC 126 by hand, then a player-sync packet written out in hex: player
    // 2, no optional words, keys 0x0001 (TAB), position 0, quaternion 0,
    // health 100, velocity 0, no surf, no animation. Delivered first under
    // identifier 200, it is not read as a sync packet.
    write("t.jsonl", R"({"frame": 1}
{"rpc": 126, "data": "0200"}
{"packet": "CF0200004000000000000000000000000000000000000003C0000000000000", "id": 200}
{"frame": 1}
{"packet": "CF0200004000000000000000000000000000000000000003C0000000000000"}
{"frame": 1}
)");
    Outcome r = run("t.jsonl");
    EXPECT_EQ(r.status, 0);
    size_t red = r.out.find(R"(["TAB", "FFFF4444", )");
    size_t green = r.out.find(R"(["TAB", "FF44FF44", )");
    EXPECT_NE(red, std::string::npos) << r.out;
    EXPECT_NE(green, std::string::npos) << r.out;
    EXPECT_LT(red, green);
}

TEST_F(ReplayTool, ABadLineRunsNothingAndNamesFileAndLine) {
    write("t.jsonl", "{\"frame\": 1}\n# fine so far\n{\"frame\": \"many\"}\n");
    Outcome r = run("--game-dir . t.jsonl");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "t.jsonl:3: \"frame\" must be an integer from 1 to 2147483647\n");
    EXPECT_FALSE(fs::exists(dir / "SAMPFUNCS")) << "the plugin never ran";

    Outcome fromStdin = run("-", "{\"tick\": true}\n");
    EXPECT_EQ(fromStdin.status, 2);
    EXPECT_EQ(fromStdin.err, "-:1: \"tick\" must be an integer from 0 to 4294967295\n");
}

TEST_F(ReplayTool, ABadLastLineOfALongTraceRunsNothingEither) {
    // Several chunks of good lines, then the bad one: not one effect is
    // written, though the plugin would have had plenty to say.
    std::string trace = std::string(placeColumn) + "{\"spectate\": 0}\n";
    while (trace.size() < (9u << 20))
        trace += "{\"sync\": {\"player\": 0, \"keys\": 8}}\n{\"frame\": 1}\n";
    trace += "{\"frame\": 1, \"bogus\": 2}\n";
    write("t.jsonl", trace);
    Outcome r = run("--game-dir . t.jsonl");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("\"bogus\" does not belong to a \"frame\" event"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "SAMPFUNCS")) << "the plugin never ran";

    // In its own temporary game folder the tool checks while it runs: what
    // ran before the bad line is dropped, and nothing is left behind.
    Outcome once = run("t.jsonl");
    EXPECT_EQ(once.status, 2);
    EXPECT_EQ(once.out, "");
    EXPECT_EQ(once.err, r.err);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(ReplayTool, StandardInputRunsLikeAFile) {
    std::string trace = std::string(placeColumn) + "{\"spectate\": 0}\n";
    for (int i = 0; i < 20000; i++)
        trace += "{\"sync\": {\"player\": 0, \"keys\": " + std::to_string(i % 64) +
                 "}}\n{\"frame\": 1}\n";
    write("t.jsonl", trace);
    Outcome fromFile = run("t.jsonl");
    Outcome fromStdin = run("-", trace);
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_TRUE(fromStdin.out == fromFile.out);
    EXPECT_GT(fromFile.out.size(), 1000u);

    // A game folder of one's own: the trace is checked before it runs,
    // from a file or from standard input, and the transcript is the same.
    // (Each run a fresh folder: the first keeps the column's position.)
    fs::create_directories(dir / "game" / "SAMPFUNCS");
    fs::create_directories(dir / "game2" / "SAMPFUNCS");
    Outcome checkedFirst = run("--game-dir game t.jsonl");
    EXPECT_EQ(checkedFirst.status, 0) << checkedFirst.err;
    EXPECT_TRUE(checkedFirst.out == fromFile.out);
    Outcome checkedFirstFromStdin = run("--game-dir game2 -", trace);
    EXPECT_EQ(checkedFirstFromStdin.status, 0) << checkedFirstFromStdin.err;
    EXPECT_TRUE(checkedFirstFromStdin.out == fromFile.out);
}

TEST_F(ReplayTool, BadCommandLinesAndMissingPluginsHaveTheirOwnStatus) {
    write("t.jsonl", "{\"frame\": 1}\n");
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--format xml t.jsonl").status, 2);
    EXPECT_EQ(run("--bogus t.jsonl").status, 2);
    EXPECT_EQ(run("missing.jsonl").status, 2);
    Outcome folder = run("tmp");
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "norvi-replay: cannot read the trace tmp: Is a directory\n");

    Outcome r = run("--plugin nowhere.so t.jsonl");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot copy the plugin"), std::string::npos) << r.err;

    Outcome noDir = run("--game-dir no/such/folder t.jsonl");
    EXPECT_EQ(noDir.status, 1);
    EXPECT_NE(noDir.err.find("cannot use the game folder no/such/folder"), std::string::npos);
}

TEST_F(ReplayTool, TheGameFolderKeepsThePositionFile) {
    const char trace[] = R"({"frame": 1}
{"command": "norvi_setpos"}
{"cursor": [960, 540]}
{"frame": 1}
{"lmb": true}
{"frame": 1}
)";
    write("t.jsonl", trace);
    fs::create_directories(dir / "game" / "SAMPFUNCS");
    Outcome r = run("--game-dir game t.jsonl");
    EXPECT_EQ(r.status, 0);
    std::string ini = readFile(dir / "game" / "SAMPFUNCS" / "norvi_warnings.ini");
    EXPECT_NE(ini.find("key_x=320.000000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("key_y=223.999985"), std::string::npos) << ini;

    // A game folder without SAMPFUNCS stays without it: the writes fail.
    fs::create_directories(dir / "bare");
    Outcome bare = run("--game-dir bare t.jsonl");
    EXPECT_EQ(bare.status, 0);
    EXPECT_FALSE(fs::exists(dir / "bare" / "SAMPFUNCS"));
    EXPECT_NE(bare.unplaced().find(R"({"profile": ["key_pos", "key_x", "320.000000"]})"),
              std::string::npos);

    // Without --game-dir, a temporary one is used and removed.
    Outcome temporary = run("t.jsonl");
    EXPECT_EQ(temporary.status, 0);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(ReplayTool, TextFormatIsForPeople) {
    write("t.jsonl", std::string(placeColumn) + R"({"spectate": 0}
{"sync": {"player": 0, "keys": 1}}
{"frame": 3}
{"command": "norvi_setpos"}
)");
    Outcome r = run("--format text t.jsonl");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "     0.000  line 1         profile   [key_pos] key_x=457.000000\n"
              "     0.000  line 1         profile   [key_pos] key_y=274.192596\n"
              "     0.000  line 1         font      Tahoma, size 11, flags 5\n"
              "     0.000  line 1         register  command norvi_setpos\n"
              "     0.000  line 1         register  render hook, device method 17\n"
              "     0.000  line 1         register  network hook, type 3\n"
              "     0.000  line 1         register  network hook, type 2\n"
              "     0.000  line 1         chat      norvi warnings successfully loaded // "
              "author: kesmaro\n"
              "     0.000  line 4         cursor    shown\n"
              "     0.000  line 4         keys      лкм пкм c sprint jump alt tab f  at 100, 200\n"
              "     0.000  line 6         profile   [key_pos] key_x=33.333336\n"
              "     0.000  line 6         profile   [key_pos] key_y=82.962959\n"
              "     0.000  line 6         cursor    hidden\n"
              "     0.000  line 10        keys      лкм пкм c sprint jump alt [TAB] f  at 100, "
              "200\n"
              "     0.000  line 11        chat      [norvi warnings]: нужно выйти из режима "
              "наблюдения\n"
              "\n"
              "summary\n"
              "  session    0.000 s, 11 events: 1 sync packets (0 dropped: dead players, ids of "
              "1000 and up), 1 RPCs\n"
              "  warned     nobody\n"
              "  spectated  player  seconds     name\n"
              "             0       0.000       \n")
        << "held keys in capitals and brackets, no terminal colours when the output is a "
           "file, and a pass like the one before it is not repeated";
}

TEST_F(ReplayTool, TextFormatShowsControlCharactersInsteadOfObeyingThem) {
    std::string trace = R"({"player": 9, "name": "a\u001b[2Jb\u0007", "color": "FFFFFFFF"}
{"frame": 1}
)";
    for (int i = 0; i < 6; i++)
        trace += "{\"advance\": 100}\n"
                 "{\"sync\": {\"player\": 9, \"keys\": 8, \"velocity\": [0.2, 0, 0]}}\n";
    write("t.jsonl", trace);
    Outcome text = run("--format text t.jsonl");
    EXPECT_NE(text.out.find("[norvi warnings]: a?[2Jb?[9]"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    Outcome jsonl = run("t.jsonl");
    EXPECT_NE(jsonl.out.find(R"(a\u001b[2Jb\u0007[9])"), std::string::npos)
        << "JSON escapes them itself";
}

TEST_F(ReplayTool, ThePictureIsTheLastPassThatDrew) {
    write("t.jsonl",
          std::string(R"({"screen": [800, 600]})") + "\n" + placeColumn + R"({"spectate": 0}
{"sync": {"player": 0, "keys": 8}}
{"frame": 1}
{"spectate": null}
{"frame": 1}
)");
    Outcome r = run("--svg out/screen.svg t.jsonl");
    EXPECT_EQ(r.status, 1) << "the picture's folder does not exist";
    EXPECT_EQ(r.err, "norvi-replay: cannot write out/screen.svg: No such file or directory\n");
    EXPECT_EQ(r.out, "") << "found out before anything ran";
    fs::create_directories(dir / "out");
    r = run("--svg out/screen.svg t.jsonl");
    EXPECT_EQ(r.status, 0);
    std::string svg = readFile(dir / "out" / "screen.svg");
    EXPECT_NE(svg.find(R"(width="800" height="600")"), std::string::npos) << svg;
    EXPECT_NE(svg.find(R"(fill="#44FF44">SPRINT</text>)"), std::string::npos) << svg;
    EXPECT_NE(svg.find(R"(fill="#FF4444">ЛКМ</text>)"), std::string::npos);
    EXPECT_NE(svg.find("successfully"), std::string::npos) << "the chat is in the picture";
}

TEST_F(ReplayTool, TheDemoRuns) {
    Outcome r = run("'" EXAMPLES_DIR "/demo.jsonl'");
    EXPECT_EQ(r.status, 0) << r.err;
    size_t warnings = 0;
    for (size_t at = r.out.find("SprintHook"); at != std::string::npos;
         at = r.out.find("SprintHook", at + 1))
        warnings++;
    EXPECT_EQ(warnings, 2u);
    EXPECT_NE(r.unplaced().find(R"({"cursor": true})"), std::string::npos);
    EXPECT_NE(r.unplaced().find(R"({"cursor": false})"), std::string::npos);
    EXPECT_NE(r.out.find("нужно выйти"), std::string::npos);
}

// ---- Placing effects, the summary, filters, scripts ----

namespace {

// Player 17 sprints with the hook on: six sync packets 100 ms apart, the
// fifth suspect one in a row gives the warning; player 3 does the same
// later; player 1000's packets and a dead player's are dropped.
std::string twoCheaters() {
    std::string trace = "{\"player\": 17, \"name\": \"Bob\", \"color\": \"FFE0C020\"}\n"
                        "{\"player\": 3, \"name\": \"Ann\"}\n"
                        "{\"frame\": 1}\n"
                        "{\"spectate\": 17}\n";
    for (int i = 0; i < 6; i++)
        trace += "{\"advance\": 100}\n"
                 "{\"sync\": {\"player\": 17, \"keys\": 8, \"velocity\": [0.2, 0, 0]}}\n"
                 "{\"frame\": 1}\n";
    trace += "{\"spectate\": 3}\n{\"advance\": 10000}\n";
    for (int i = 0; i < 6; i++)
        trace += "{\"advance\": 100}\n"
                 "{\"sync\": {\"player\": 3, \"keys\": 8, \"velocity\": [0.2, 0, 0]}}\n"
                 "{\"frame\": 1}\n";
    trace += "{\"sync\": {\"player\": 1000}}\n"
             "{\"sync\": {\"player\": 4, \"health\": 2}}\n"
             "{\"spectate\": null}\n"
             "{\"advance\": 500}\n";
    return trace;
}

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST_F(ReplayTool, EveryEffectNamesItsLineAndTick) {
    write("t.jsonl", twoCheaters());
    Outcome r = run("t.jsonl");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = linesOf(r.out);
    // The start-up comes from the first frame, line 3; the warning from the
    // sixth of Bob's packets (a player's first never counts): line 4 + 6 *
    // 3 - 1 = 21, at 1000000 + 600 ms.
    EXPECT_NE(lines.front().find(R"(, "line": 3, "tick": 1000000})"), std::string::npos)
        << lines.front();
    std::string warning;
    for (const std::string &line : lines)
        if (line.find("SprintHook") != std::string::npos) {
            warning = line;
            break;
        }
    EXPECT_EQ(warning.rfind(R"({"chat": "[norvi warnings]: {e0c020}Bob[17] возможно SprintHook", )"
                            R"("color": "00FF2B2B", "warning": )",
                            0),
              0u)
        << warning;
    EXPECT_TRUE(warning.ends_with(R"(]}, "line": 21, "tick": 1000600})")) << warning;
}

TEST_F(ReplayTool, TheSummaryTellsWhoWasWarnedAndSpectated) {
    write("t.jsonl", twoCheaters());
    Outcome r = run("--summary t.jsonl");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(linesOf(r.out).back(),
              R"({"summary": {"seconds": 11.700, "events": 46, "syncPackets": 14, )"
              R"("droppedPackets": 2, "rpcs": 3, "warned": [)"
              R"({"player": 3, "name": "Ann", "warnings": 1, "first": 11.200, "last": 11.200}, )"
              R"({"player": 17, "name": "Bob", "warnings": 1, "first": 0.600, "last": 0.600}], )"
              R"("spectated": [{"player": 3, "name": "Ann", "seconds": 10.600}, )"
              R"({"player": 17, "name": "Bob", "seconds": 0.600}]}})");
    EXPECT_EQ(run("t.jsonl").out.find("summary"), std::string::npos) << "jsonl: only when asked";

    Outcome text = run("--format text t.jsonl");
    EXPECT_NE(text.out.find("\nsummary\n"
                            "  session    11.700 s, 46 events: 14 sync packets (2 dropped: dead "
                            "players, ids of 1000 and up), 3 RPCs\n"
                            "  warned     player  warnings  first (s)   last (s)    name\n"
                            "             3       1         11.200      11.200      Ann\n"
                            "             17      1         0.600       0.600       Bob\n"),
              std::string::npos)
        << text.out;
}

// RPC 126 carries a 16-bit target that the plugin keeps as a signed
// number: 0xFFFF (-1) is nobody, every other value (32768 to 65534, negative
// to the plugin, too) a spectated player, for whom the plugin draws the
// column. Every output agrees with what it drew.
TEST_F(ReplayTool, EverySpectateTargetButNobodyIsAPlayerInEveryOutput) {
    const auto npos = std::string::npos;
    for (unsigned target : {0u, 999u, 1000u, 32767u, 32768u, 40000u, 65534u, 65535u}) {
        SCOPED_TRACE(target);
        std::string id = std::to_string(target);
        bool nobody = target == 65535;
        // SPRINT held by the target where the plugin reads its packets
        // (ids below 1000), else by somebody else.
        std::string sender = target < 1000 ? id : "7";
        write("t.jsonl", "{\"frame\": 1}\n"
                         "{\"player\": " +
                             id +
                             ", \"name\": \"Watched\"}\n"
                             "{\"spectate\": " +
                             id +
                             "}\n"
                             "{\"sync\": {\"player\": " +
                             sender +
                             ", \"keys\": 8}}\n"
                             "{\"frame\": 1}\n"
                             "{\"advance\": 1000}\n"
                             "{\"spectate\": null}\n"
                             "{\"frame\": 1}\n");
        Outcome r = run("--summary --svg screen.svg --timeline timeline.svg t.jsonl");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("{\"draw\"") != npos, !nobody) << "the column is drawn";
        EXPECT_EQ(r.out.find(R"(["SPRINT", "FF44FF44")") != npos, target < 1000)
            << "with the keys of a player whose packets the plugin reads";

        std::string watched = nobody ? R"("spectated": [])"
                                     : R"("spectated": [{"player": )" + id +
                                           R"(, "name": "Watched", "seconds": 1.000}])";
        EXPECT_NE(linesOf(r.out).back().find(watched), npos) << linesOf(r.out).back();
        EXPECT_EQ(readFile(dir / "screen.svg").find(">SPRINT<") != npos, !nobody);
        EXPECT_EQ(readFile(dir / "timeline.svg").find(">" + id + "</text>") != npos, !nobody)
            << "the spectating band names the player";
        Outcome only = run("--player " + id + " t.jsonl");
        EXPECT_EQ(only.out.find("{\"draw\"") != npos, !nobody) << only.out;
        Outcome text = run("--format text --color never t.jsonl");
        EXPECT_EQ(text.out.find("  spectated  nobody\n") != npos, nobody) << text.out;
        EXPECT_EQ(text.out.find("             " + id + " ") != npos, !nobody) << text.out;
    }
}

TEST_F(ReplayTool, FiltersChangeWhatIsShownNotWhatRuns) {
    write("t.jsonl", twoCheaters());
    Outcome all = run("--summary t.jsonl");
    Outcome bob = run("--summary --player 17 t.jsonl");
    ASSERT_EQ(bob.status, 0) << bob.err;
    EXPECT_EQ(linesOf(bob.out).back(), linesOf(all.out).back()) << "the same session ran";
    std::vector<std::string> lines = linesOf(bob.out);
    lines.pop_back();
    ASSERT_FALSE(lines.empty());
    for (const std::string &line : lines) {
        bool bobsWarning = line.find("Bob[17]") != std::string::npos;
        bool pass = line.rfind("{\"draw\"", 0) == 0;
        EXPECT_TRUE(bobsWarning || pass) << line;
        if (pass) { // drawn while Bob was spectated, not later while Ann was
            EXPECT_EQ(line.find("\"tick\": 1011"), std::string::npos) << line;
        }
    }

    // A stretch: seconds from the first event, or ticks.
    Outcome late = run("--from 11 t.jsonl");
    EXPECT_EQ(late.out.find("Bob[17]"), std::string::npos);
    EXPECT_NE(late.out.find("Ann[3]"), std::string::npos);
    Outcome early = run("--from=tick:1000000 --to=tick:1000600 t.jsonl");
    EXPECT_NE(early.out.find("Bob[17]"), std::string::npos);
    EXPECT_EQ(early.out.find("Ann[3]"), std::string::npos);
    EXPECT_EQ(run("--from soon t.jsonl").status, 2);
}

TEST_F(ReplayTool, FailOnWarningGivesStatusThree) {
    write("t.jsonl", twoCheaters());
    EXPECT_EQ(run("--fail-on-warning t.jsonl").status, 3);
    EXPECT_EQ(run("t.jsonl").status, 0);
    write("quiet.jsonl", "{\"frame\": 1}\n");
    EXPECT_EQ(run("--fail-on-warning quiet.jsonl").status, 0);
}

TEST_F(ReplayTool, TheCommandLineIsTheUsualOne) {
    write("t.jsonl", twoCheaters());
    Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *option :
         {"--format", "--summary", "--player", "--from", "--to", "--fail-on-warning", "--color",
          "--svg", "--timeline", "--game-dir", "--plugin", "--version", "Exit status:", "  3  "})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    Outcome version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("norvi-replay ", 0), 0u) << version.out;

    EXPECT_EQ(run("--format=text t.jsonl").out, run("--format text t.jsonl").out);
    write("-odd.jsonl", "{\"frame\": 1}\n");
    EXPECT_EQ(run("-- -odd.jsonl").status, 0) << "after --, a name is a name";

    // A picture to standard output follows the transcript.
    Outcome svg = run("--svg - t.jsonl");
    EXPECT_EQ(svg.status, 0);
    EXPECT_NE(svg.out.find("}\n<svg "), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "-"));
    EXPECT_EQ(run("--svg - --timeline - t.jsonl").status, 2);

    Outcome timeline = run("--timeline line.svg t.jsonl");
    EXPECT_EQ(timeline.status, 0) << timeline.err;
    EXPECT_NE(readFile(dir / "line.svg").find("<svg"), std::string::npos);

    write("empty.jsonl", "# nothing\n\n");
    Outcome empty = run("empty.jsonl");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "norvi-replay: the trace empty.jsonl holds no events: only the "
                         "plugin's start is shown\n");
}

// A shell pipeline and a pseudo-terminal: native only.
#if !defined(_WIN32)

TEST_F(ReplayTool, AClosedPipeLeavesNoTemporaryFolder) {
    std::string trace = "{\"frame\": 1}\n{\"spectate\": 0}\n";
    for (int i = 0; i < 50000; i++)
        trace += "{\"sync\": {\"player\": 0, \"keys\": " + std::to_string(i % 64) +
                 "}}\n{\"frame\": 1}\n";
    write("t.jsonl", trace);
    std::string command = "cd '" + dir.string() + "' && TMPDIR='" + (dir / "tmp").string() +
                          "' '" NORVI_REPLAY "' t.jsonl | head -c 100 >/dev/null";
    (void)std::system(command.c_str());
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

namespace {

// What the tool writes when its standard output is a terminal: run on a
// pseudo-terminal, read until it closes.
std::string onTerminal(const fs::path &dir, const std::string &command) {
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::string line = "cd '" + dir.string() + "' && " + command;
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    std::string out;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(got));
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    return out;
}

} // namespace

TEST_F(ReplayTool, ColoursOnATerminalOnTopOfTextThatReadsWithout) {
    write("t.jsonl", std::string(placeColumn) + R"({"spectate": 0}
{"sync": {"player": 0, "keys": 8}}
{"frame": 1}
)");
    const std::string tool = "'" NORVI_REPLAY "' --format text ";
    std::string coloured = onTerminal(dir, tool + "t.jsonl");
    EXPECT_NE(coloured.find("\x1b[38;2;68;255;68m[SPRINT]\x1b[0m"), std::string::npos) << coloured;
    EXPECT_NE(coloured.find("\x1b[38;2;255;68;68mjump\x1b[0m"), std::string::npos);

    for (const std::string &plain :
         {onTerminal(dir, "NO_COLOR=1 " + tool + "t.jsonl"),
          onTerminal(dir, tool + "--color=never t.jsonl"), run("--format text t.jsonl").out}) {
        EXPECT_EQ(plain.find('\x1b'), std::string::npos) << plain;
        EXPECT_NE(plain.find("[SPRINT] jump"), std::string::npos) << plain;
    }
    EXPECT_NE(run("--format text --color=always t.jsonl").out.find("\x1b[38;2;"), std::string::npos)
        << "asked for, colours go to a file too";
}

#endif

// The warning carries the packets the plugin acted on: the run's suspect
// packets, the last five, each with its line, time, speed, keys, animation
// and the gap since the player's previous packet. A packet that is not
// suspect (no SPRINT) ends a run, and its packets are no evidence.
TEST_F(ReplayTool, AWarningCarriesTheSuspectPacketsOfItsRun) {
    std::string trace = "{\"player\": 17, \"name\": \"Bob\"}\n{\"frame\": 1}\n";
    const char *sprinting = "{\"sync\": {\"player\": 17, \"keys\": 8, \"velocity\": [0.2, 0, 0.1], "
                            "\"animation\": [1228, -32766]}}\n";
    for (int i = 0; i < 3; i++)
        trace += std::string("{\"advance\": 100}\n") + sprinting;
    trace += "{\"advance\": 100}\n{\"sync\": {\"player\": 17, \"velocity\": [0.2, 0, 0]}}\n";
    for (int i = 0; i < 6; i++)
        trace += std::string("{\"advance\": ") + (i == 2 ? "120" : "100") + "}\n" + sprinting;
    write("t.jsonl", trace);
    Outcome r = run("t.jsonl");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = linesOf(r.out);
    // The sprinting run after the break: lines 12 to 20, the fifth of which
    // (line 20) makes the warning; the sixth asks again within 8.5 s.
    std::string packet =
        R"("speed": 22.361027, "keys": 8, "animation": 1228, "animationFlags": -32766)";
    std::string evidence;
    for (const char *place : {R"("line": 12, "tick": 1000500, "seconds": 0.500)",
                              R"("line": 14, "tick": 1000600, "seconds": 0.600)",
                              R"("line": 16, "tick": 1000720, "seconds": 0.720)",
                              R"("line": 18, "tick": 1000820, "seconds": 0.820)",
                              R"("line": 20, "tick": 1000920, "seconds": 0.920)"})
        evidence += std::string(evidence.empty() ? "{" : ", {") + place + ", " + packet +
                    (std::string(place).find("720") != std::string::npos ? R"(, "gap": 120})"
                                                                         : R"(, "gap": 100})");
    EXPECT_EQ(lines.back(),
              R"({"chat": "[norvi warnings]: {ffffff}Bob[17] возможно SprintHook", )"
              R"("color": "00FF2B2B", "warning": {"player": 17, "name": "Bob", "evidence": [)" +
                  evidence + R"(]}, "line": 20, "tick": 1000920})");

    Outcome text = run("--format text --color never t.jsonl");
    EXPECT_NE(text.out.find("     0.920  line 20        chat      [norvi warnings]: Bob[17] "
                            "возможно SprintHook\n"
                            "                           why       line 12, 0.500 s: speed 22.36, "
                            "keys 0x0008, animation 1228/-32766, 100 ms after the one before\n"
                            "                           why       line 14, 0.600 s: speed 22.36, "),
              std::string::npos)
        << text.out;
}

// Without an output that needs every packet judged, the tool keeps each
// player's latest packets and reads the evidence from them when a warning
// comes; with one (--summary, --player), it judges every packet as it comes.
// Both must tell the same warnings with the same evidence: here two
// players' runs interleaved, longer than five, with a dead player's packets
// and other ids' among them, a run that the 8.5 s rule keeps silent and a
// later one that warns again.
TEST_F(ReplayTool, TheEvidenceIsTheSameWhetherEveryPacketIsJudgedOrNot) {
    std::string trace = "{\"player\": 17, \"name\": \"Bob\"}\n{\"player\": 5, \"name\": "
                        "\"Eve\"}\n{\"frame\": 1}\n";
    auto sprint = [](int player, const char *extra = "") {
        return "{\"sync\": {\"player\": " + std::to_string(player) +
               ", \"keys\": 8, \"velocity\": [0.2, 0, 0.1], \"animation\": [1228, -32766]" + extra +
               "}}\n";
    };
    // Three stretches: both players sprint for 14 packets; 3 s later again
    // (silent: within 8.5 s of the warnings); 9 s after that once more.
    for (int advance : {0, 3000, 9000}) {
        trace += "{\"advance\": " + std::to_string(advance) + "}\n";
        for (int i = 0; i < 14; i++) {
            trace += "{\"advance\": " + std::to_string(40 + 10 * (i % 3)) + "}\n";
            trace += sprint(17);
            if (i % 4 == 1)
                for (int d = 0; d < 70; d++) // more than a player's list holds
                    trace += sprint(17, ", \"health\": 0");
            if (i % 3 == 0)
                trace += sprint(1001);
            if (i > 2)
                trace += sprint(5);
        }
    }
    write("t.jsonl", trace);

    Outcome kept = run("t.jsonl");
    ASSERT_EQ(kept.status, 0) << kept.err;
    std::vector<std::string> lines = linesOf(kept.out);
    std::vector<std::string> warnings;
    for (const std::string &line : lines)
        if (line.find("\"warning\": ") != std::string::npos)
            warnings.push_back(line);
    ASSERT_EQ(warnings.size(), 4u) << kept.out;
    EXPECT_NE(warnings[0].find("\"player\": 17"), std::string::npos);
    EXPECT_NE(warnings[3].find("\"player\": 5"), std::string::npos);

    Outcome summed = run("--summary t.jsonl");
    ASSERT_EQ(summed.status, 0) << summed.err;
    std::vector<std::string> withSummary = linesOf(summed.out);
    ASSERT_EQ(withSummary.size(), lines.size() + 1);
    withSummary.pop_back();
    EXPECT_EQ(withSummary, lines);

    Outcome players = run("--player 5,17 t.jsonl");
    ASSERT_EQ(players.status, 0) << players.err;
    EXPECT_EQ(linesOf(players.out), warnings);
}
