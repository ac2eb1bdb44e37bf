// The Windows tool, run through Wine with the Windows plugin, writes the
// very bytes the native tool writes with the native plugin: transcripts in
// both formats and pictures, for every example session, traces and
// captures alike.
#include "tool_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

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
                           dir, dir / "tmp");
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
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "no temporary folder left behind";
}

} // namespace
