// norvi-replay end to end: the program run on small traces, its transcript
// line for line, its errors and exit statuses, the game folder and the
// picture.
#include "tool_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ReplayTool : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("norvi-replay-test-" + std::to_string(processNumber()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "tmp");
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path write(const std::string &name, const std::string &text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }

    // Runs the tool with `arguments` (shell words), its temporary folders
    // under this test's own folder.
    Outcome run(const std::string &arguments, const std::string &input = "") {
        return runProgram(NORVI_REPLAY, arguments, dir, dir / "tmp", input);
    }

    fs::path dir;
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
    EXPECT_EQ(r.out, startUp);
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
        r.out,
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
    EXPECT_EQ(r.out.substr(sizeof startUp - 1),
              "{\"chat\": \"[norvi warnings]: {e0c020}Bob[17] возможно SprintHook\", "
              "\"color\": \"00FF2B2B\"}\n");
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
    EXPECT_NE(bare.out.find(R"({"profile": ["key_pos", "key_x", "320.000000"]})"),
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
    const char *red = "keys      ЛКМ #FF4444  ПКМ #FF4444  C #FF4444  SPRINT #FF4444  JUMP "
                      "#FF4444  ALT #FF4444  TAB #FF4444  F #FF4444  at 100, 200\n";
    EXPECT_EQ(r.out, std::string("profile   [key_pos] key_x=457.000000\n"
                                 "profile   [key_pos] key_y=274.192596\n"
                                 "font      Tahoma, size 11, flags 5\n"
                                 "register  command norvi_setpos\n"
                                 "register  render hook, device method 17\n"
                                 "register  network hook, type 3\n"
                                 "register  network hook, type 2\n"
                                 "chat      norvi warnings successfully loaded // author: kesmaro\n"
                                 "cursor    shown\n") +
                         red +
                         "profile   [key_pos] key_x=33.333336\n"
                         "profile   [key_pos] key_y=82.962959\n"
                         "cursor    hidden\n"
                         "keys      ЛКМ #FF4444  ПКМ #FF4444  C #FF4444  SPRINT #FF4444  JUMP "
                         "#FF4444  ALT #FF4444  TAB #44FF44  F #FF4444  at 100, 200\n"
                         "chat      [norvi warnings]: нужно выйти из режима наблюдения\n")
        << "no terminal colours when the output is a file, and a pass like the one "
           "before it is not repeated";
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
    fs::create_directories(dir / "out");
    r = run("--svg out/screen.svg t.jsonl");
    EXPECT_EQ(r.status, 0);
    std::string svg = readFile(dir / "out" / "screen.svg");
    EXPECT_NE(svg.find(R"(width="800" height="600")"), std::string::npos) << svg;
    EXPECT_NE(svg.find("sans-serif"), std::string::npos);
    EXPECT_NE(svg.find(R"(<text x="100" y="245" fill="#44FF44">SPRINT</text>)"), std::string::npos)
        << svg;
    EXPECT_NE(svg.find(R"(<text x="101" y="246" fill="#101010">SPRINT</text>)"), std::string::npos)
        << "a one-pixel dark shadow";
    EXPECT_NE(svg.find(R"(fill="#FF4444">ЛКМ</text>)"), std::string::npos);
}

TEST_F(ReplayTool, TheDemoRuns) {
    Outcome r = run("'" EXAMPLES_DIR "/demo.jsonl'");
    EXPECT_EQ(r.status, 0) << r.err;
    size_t warnings = 0;
    for (size_t at = r.out.find("SprintHook"); at != std::string::npos;
         at = r.out.find("SprintHook", at + 1))
        warnings++;
    EXPECT_EQ(warnings, 2u);
    EXPECT_NE(r.out.find(R"({"cursor": true})"), std::string::npos);
    EXPECT_NE(r.out.find(R"({"cursor": false})"), std::string::npos);
    EXPECT_NE(r.out.find("нужно выйти"), std::string::npos);
}
