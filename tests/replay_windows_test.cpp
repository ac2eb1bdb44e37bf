// The Windows tool, run through Wine with the Windows plugin, writes the
// very bytes the native tool writes with the native plugin: transcripts in
// both formats and pictures, for every example session, traces and
// captures alike.
#include "capture_scenes.h"
#include "tool_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// The text without the line end Windows programs write.
std::string firstLine(const std::string &text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// The folder Windows programs under Wine take for their temporary folder
// (%TEMP%, which Wine sets from the prefix, not from TMPDIR), as a Linux path.
fs::path windowsTemporaryFolder(const fs::path &dir) {
    fs::path tmp = fs::temp_directory_path();
    std::string windows = firstLine(runProgram(WINE_RUN, "cmd /c echo %TEMP%", dir, tmp).out);
    return firstLine(runProgram(WINE_RUN, "winepath -u '" + windows + "'", dir, tmp).out);
}

// The tool's temporary game folders in `folder`: "norvi-replay-PID-N" on
// Windows (the Windows tests' own folders there have other names).
std::set<fs::path> gameFoldersIn(const fs::path &folder) {
    static const std::regex name(R"(norvi-replay-[0-9]+-[0-9]+)");
    std::set<fs::path> found;
    std::error_code ignored;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, ignored))
        if (std::regex_match(entry.path().filename().string(), name))
            found.insert(entry.path());
    return found;
}

class WindowsTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("norvi-windows-test-" + std::to_string(processNumber()));
        fs::remove_all(dir);
        fs::create_directories(dir / "tmp");
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

TEST_F(WindowsTool, WritesTheNativeToolsBytesForEveryExample) {
    if (std::system("'" WINE_PROBE "'") != 0)
        GTEST_SKIP() << "Wine does not start on this machine (cmake/wine-probe.sh --explain)";
    ASSERT_TRUE(fs::exists(NORVI_REPLAY_EXE)) << "build the Windows build first";
    // Each tool's leftovers are looked for where it makes its temporary
    // folder: natively the TMPDIR it is given, under Wine the prefix's
    // Windows temporary folder. Wine's own files (its server's socket
    // folder, under TMPDIR) are Wine's, so Wine keeps the usual TMPDIR.
    fs::path windowsTmp = windowsTemporaryFolder(dir);
    ASSERT_TRUE(fs::is_directory(windowsTmp)) << windowsTmp;
    std::set<fs::path> windowsBefore = gameFoldersIn(windowsTmp);
    size_t examples = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(EXAMPLES_DIR)) {
        fs::path extension = entry.path().extension();
        if (extension != ".jsonl" && extension != ".pcap" && extension != ".pcapng")
            continue;
        examples++;
        std::string trace = "'" + entry.path().string() + "'";
        for (const char *options : {"--format jsonl", "--format text --svg picture.svg"}) {
            SCOPED_TRACE(entry.path().filename().string() + " " + options);
            Outcome native =
                runProgram(NORVI_REPLAY, std::string(options) + " " + trace, dir, dir / "tmp");
            std::string nativePicture = readFile(dir / "picture.svg");
            fs::remove(dir / "picture.svg");
            Outcome windows =
                runProgram(WINE_RUN, "'" NORVI_REPLAY_EXE "' " + std::string(options) + " " + trace,
                           dir, fs::temp_directory_path());
            std::string windowsPicture = readFile(dir / "picture.svg");
            fs::remove(dir / "picture.svg");

            EXPECT_EQ(native.status, 0) << native.err;
            EXPECT_EQ(windows.status, 0) << windows.err;
            EXPECT_FALSE(native.out.empty());
            EXPECT_EQ(windows.out, native.out);
            EXPECT_EQ(windowsPicture, nativePicture);
        }
    }
    EXPECT_GE(examples, 5u);
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "the native tool left a temporary folder behind";
    EXPECT_EQ(gameFoldersIn(windowsTmp), windowsBefore)
        << "the Windows tool left a temporary folder behind in " << windowsTmp;
}

} // namespace

namespace {

TEST_F(WindowsTool, ReadsACapturePipedIntoItAsTheNativeToolDoes) {
    if (std::system("'" WINE_PROBE "'") != 0)
        GTEST_SKIP() << "Wine does not start on this machine (cmake/wine-probe.sh --explain)";
    std::string capture = readFile(EXAMPLES_DIR "/session.pcapng");
    // Through a pipe, as from tcpdump or dumpcap: on Windows read as bytes.
    Outcome native = runProgram("/bin/sh", "-c \"cat | '" NORVI_REPLAY "' --format text -\"", dir,
                                dir / "tmp", capture);
    Outcome windows =
        runProgram("/bin/sh", "-c \"cat | '" WINE_RUN "' '" NORVI_REPLAY_EXE "' --format text -\"",
                   dir, fs::temp_directory_path(), capture);
    EXPECT_EQ(native.status, 0) << native.err;
    EXPECT_EQ(windows.status, 0) << windows.err;
    EXPECT_NE(native.out.find("SprintHook"), std::string::npos);
    EXPECT_EQ(windows.out, native.out);
    EXPECT_EQ(windows.err, native.err);
}

} // namespace

namespace {

// A game among other traffic, and one joined late among it: the Windows
// tool writes the native tool's bytes from the file and from a pipe fed a
// piece at a time.
TEST_F(WindowsTool, ReadsAGameAmongOtherTrafficAsTheNativeToolDoes) {
    if (std::system("'" WINE_PROBE "'") != 0)
        GTEST_SKIP() << "Wine does not start on this machine (cmake/wine-probe.sh --explain)";
    using namespace scenes;
    std::vector<Frame> game = example();
    uint64_t begin = game.front().timeNs, end = game.back().timeNs;
    std::vector<Frame> late(game.begin() + exampleHandshake, game.end());
    std::vector<std::vector<Frame>> others = {
        voice(begin - 30 * second, end), dnsAnswers(begin - 30 * second, end, 500 * ms),
        flood(begin - 5 * second, begin, 3000), oneWay(begin - 10 * second, end, 3, 50)};
    for (const std::vector<Frame> *session : {&game, &late}) {
        ASSERT_TRUE(capwrite::writeFile((dir / "noisy.pcapng").string(),
                                        capwrite::pcapng(mix(*session, others).frames, {{1, 6}})));
        for (const char *input : {"noisy.pcapng", "-"}) {
            SCOPED_TRACE(std::string(session == &game ? "whole" : "joined late") + " " + input);
            std::string feed = std::string("dd if=noisy.pcapng bs=4096 2>/dev/null | ");
            std::string tail = std::string(" --format text ") + input;
            Outcome native = runProgram(
                "/bin/sh", "-c \"" + feed + "'" NORVI_REPLAY "'" + tail + "\"", dir, dir / "tmp");
            Outcome windows = runProgram(
                "/bin/sh", "-c \"" + feed + "'" WINE_RUN "' '" NORVI_REPLAY_EXE "'" + tail + "\"",
                dir, fs::temp_directory_path());
            EXPECT_EQ(native.status, 0) << native.err;
            EXPECT_EQ(windows.status, 0) << windows.err;
            EXPECT_NE(native.out.find("SprintHook"), std::string::npos);
            EXPECT_EQ(windows.out, native.out);
            EXPECT_EQ(windows.err, native.err);
        }
    }
}

} // namespace
