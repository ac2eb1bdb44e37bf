// The tool's portable pieces, on both targets: work spread over threads,
// temporary folders and files that never outlive the program, folders and
// paths with names beyond ASCII.
#include "parallel.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST(ParallelFor, RunsEveryTaskExactlyOnceBeforeReturning) {
    for (size_t count :
         {size_t{0}, size_t{1}, size_t{2}, size_t{replay::workerCount() + 1}, size_t{5000}}) {
        std::vector<std::atomic<int>> runs(count);
        replay::parallelFor(count, [&](size_t i) {
            volatile unsigned spin = 0;
            for (unsigned k = 0; k < 200; k++)
                spin = spin + k;
            runs[i].fetch_add(1);
        });
        for (size_t i = 0; i < count; i++)
            ASSERT_EQ(runs[i].load(), 1) << "task " << i << " of " << count;
    }
}

TEST(ParallelFor, TheLowestNumberedFailureReachesTheCaller) {
    // Many rounds, so that threads finish in many orders.
    for (int round = 0; round < 50; round++) {
        std::vector<std::atomic<int>> runs(2000);
        try {
            replay::parallelFor(runs.size(), [&](size_t i) {
                runs[i].fetch_add(1);
                if (i == 7 || i == 60 || i == 1500)
                    throw std::runtime_error("task " + std::to_string(i));
            });
            FAIL() << "no exception reached the caller";
        } catch (const std::runtime_error &error) {
            EXPECT_STREQ(error.what(), "task 7");
        }
        for (size_t i = 0; i <= 7; i++)
            EXPECT_EQ(runs[i].load(), 1) << "task " << i << " in round " << round;
    }
}

bool isEmptyFolder(const fs::path &path) {
    return fs::is_directory(path) && fs::directory_iterator(path) == fs::directory_iterator();
}

TEST(TemporaryFolder, IsNewEmptyAndRemovedWithEverythingInItEvenWhenStoodIn) {
    fs::path start = fs::current_path();
    fs::path one = replay::makeTemporaryFolder("norvi-test");
    fs::path two = replay::makeTemporaryFolder("norvi-test");
    ASSERT_FALSE(one.empty()) << replay::lastErrorText();
    ASSERT_FALSE(two.empty()) << replay::lastErrorText();
    EXPECT_NE(one, two);
    EXPECT_TRUE(isEmptyFolder(one));
    EXPECT_EQ(fs::canonical(one.parent_path()), fs::canonical(fs::temp_directory_path()));
    EXPECT_EQ(replay::pathText(one.filename()).rfind("norvi-test-", 0), 0u);

    fs::create_directories(one / "SAMPFUNCS" / "deeper");
    std::ofstream(one / "SAMPFUNCS" / "norvi_warnings.ini") << "[key_pos]\n";
    std::ofstream(one / "SAMPFUNCS" / "deeper" / "file") << "x";
    std::ofstream(two / "file") << "y";
    ASSERT_TRUE(replay::enterFolder(one / "SAMPFUNCS"));

    EXPECT_TRUE(replay::removeTemporaryFolders());
    EXPECT_FALSE(fs::exists(one));
    EXPECT_FALSE(fs::exists(two));
    EXPECT_TRUE(replay::removeTemporaryFolders()) << "a second call has nothing left to do";
    fs::current_path(start);
}

#if !defined(_WIN32)
// Runs `end` in a child process that has made a temporary folder with a
// file in it; returns the folder and the child's wait status.
template <typename End> std::pair<fs::path, int> folderOfAChildThat(End end) {
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    pid_t child = fork();
    if (child == 0) {
        (void)close(pipeEnds[0]);
        fs::path folder = replay::makeTemporaryFolder("norvi-test");
        std::ofstream(folder / "file") << "z";
        std::string text = folder.string() + "\n";
        if (write(pipeEnds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            _exit(99);
        (void)close(pipeEnds[1]);
        end();
        _exit(98);
    }
    (void)close(pipeEnds[1]);
    std::string text;
    char c = 0;
    while (read(pipeEnds[0], &c, 1) == 1 && c != '\n')
        text += c;
    (void)close(pipeEnds[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return {text, status};
}

TEST(TemporaryFolder, IsRemovedOnExitAndOnEndingSignalsWhichStillEndTheProgram) {
    auto [exited, exitStatus] = folderOfAChildThat([] { std::exit(4); });
    ASSERT_FALSE(exited.empty());
    EXPECT_FALSE(fs::exists(exited));
    EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 4);

    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        auto [folder, status] = folderOfAChildThat([signal] { (void)raise(signal); });
        ASSERT_FALSE(folder.empty());
        EXPECT_FALSE(fs::exists(folder)) << "signal " << signal;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "signal " << signal;
    }

    // A real closed pipe, as with `norvi-replay ... | head`.
    auto [piped, pipeStatus] = folderOfAChildThat([] {
        int ends[2];
        if (pipe(ends) != 0)
            _exit(97);
        (void)close(ends[0]);
        (void)!write(ends[1], "x", 1);
    });
    EXPECT_FALSE(fs::exists(piped));
    EXPECT_TRUE(WIFSIGNALED(pipeStatus) && WTERMSIG(pipeStatus) == SIGPIPE);
}
#endif

TEST(TemporaryFile, HoldsWhatIsWrittenAndLeavesNoFileBehind) {
    std::FILE *file = replay::openTemporaryFile();
    ASSERT_NE(file, nullptr) << replay::lastErrorText();
    std::string written(100000, '\0');
    for (size_t i = 0; i < written.size(); i++)
        written[i] = static_cast<char>(i % 251);
    written += "\n\r\n"; // line ends stay as they are
    ASSERT_EQ(std::fwrite(written.data(), 1, written.size(), file), written.size());
    std::rewind(file);
    std::string read(written.size(), '\0');
    ASSERT_EQ(std::fread(read.data(), 1, read.size(), file), read.size());
    EXPECT_EQ(read, written);
    EXPECT_EQ(std::fgetc(file), EOF);
    std::fclose(file);

    for (const fs::directory_entry &entry : fs::directory_iterator(fs::temp_directory_path()))
        EXPECT_NE(replay::pathText(entry.path().filename()).rfind("norvi-spool-", 0), 0u)
            << replay::pathText(entry.path());
}

TEST(Paths, FoldersAndFilesNamedBeyondAsciiCanBeEnteredOpenedAndShown) {
    fs::path start = fs::current_path();
    fs::path base = replay::makeTemporaryFolder("norvi-test");
    ASSERT_FALSE(base.empty());
    // "игра ü" in UTF-8.
    const std::string name = "\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0 \xC3\xBC";
    fs::path folder = base / replay::pathOf(name);
    ASSERT_TRUE(fs::create_directory(folder));

    ASSERT_TRUE(replay::enterFolder(folder)) << replay::lastErrorText();
    EXPECT_EQ(replay::pathText(fs::current_path().filename()), name);
    std::FILE *file = replay::openFile(replay::pathOf(name + ".txt"), "wb");
    ASSERT_NE(file, nullptr) << replay::lastErrorText();
    std::fclose(file);
    EXPECT_TRUE(fs::exists(folder / replay::pathOf(name + ".txt")));
    EXPECT_EQ(replay::pathText(folder).substr(replay::pathText(folder).size() - name.size()), name);

    fs::current_path(start);
    EXPECT_FALSE(replay::enterFolder(base / "missing"));
    EXPECT_FALSE(replay::lastErrorText().empty());
    EXPECT_EQ(replay::openFile(base / "missing" / "file", "rb"), nullptr);
    EXPECT_FALSE(replay::lastErrorText().empty());
    replay::removeTemporaryFolders();
}

} // namespace
