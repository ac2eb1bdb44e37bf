// norvi-replay on packet captures: the example session end to end, the
// options, recognition by content, and captures written back as traces.
#include "replay_fixture.h"
#include "tool_process.h"
#include "trace.h"
#include "trace_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string example = EXAMPLES_DIR "/session.pcapng";

// A transcript without the keys that place effects (and a warning's
// evidence) by trace line or capture record.
std::string unplaced(const std::string &transcript) {
    static const std::regex origin(", \"(line|record)\": [0-9]+|\"(line|record)\": [0-9]+, ");
    return std::regex_replace(transcript, origin, "");
}

class ReplayCapture : public ReplayFolderTest {
  protected:
    ReplayCapture() : ReplayFolderTest("norvi-capture-test") {}
};

} // namespace

TEST_F(ReplayCapture, TheExampleSessionWarnsAboutTheCheaterAndItsTraceReplaysTheSame) {
    Outcome fromCapture = run("--write-trace session.jsonl '" + example + "'");
    ASSERT_EQ(fromCapture.status, 0) << fromCapture.err;
    // The warning names the records of the five suspect packets it was made of.
    EXPECT_NE(fromCapture.out.find("{\"chat\": \"[norvi warnings]: {3399ff}Anna_Sokol[5] "
                                   "возможно SprintHook\", \"color\": \"00FF2B2B\", "
                                   "\"warning\": {\"player\": 5, \"name\": \"Anna_Sokol\", "
                                   "\"evidence\": [{\"record\": 18, \"tick\": 1001000, "),
              std::string::npos)
        << fromCapture.out;
    EXPECT_NE(fromCapture.out.find("{\"record\": 23, \"tick\": 1001400, \"seconds\": 1.400, "
                                   "\"speed\": 21, \"keys\": 8, \"animation\": 0, "
                                   "\"animationFlags\": 0, \"gap\": 100}]}, \"record\": 23, "
                                   "\"tick\": 1001400}"),
              std::string::npos)
        << fromCapture.out;
    // The spectate order's resent copy is the one thing left out.
    EXPECT_EQ(fromCapture.err, "norvi-replay: " + example +
                                   ": skipped 1 message (1 resent duplicates, first record 26)\n");
    std::string trace = readFile(dir / "session.jsonl");
    EXPECT_EQ(trace.rfind("{\"tick\": 1000000}\n{\"game\": 9}\n", 0), 0u) << trace.substr(0, 80);
    Outcome fromTrace = run("session.jsonl");
    ASSERT_EQ(fromTrace.status, 0) << fromTrace.err;
    EXPECT_NE(fromTrace.out.find("\"line\": "), std::string::npos);
    EXPECT_EQ(unplaced(fromTrace.out), unplaced(fromCapture.out));
}

TEST_F(ReplayCapture, ACaptureIsKnownByItsContentAndItsOptionsAreChecked) {
    fs::copy_file(example, dir / "renamed.jsonl");
    Outcome renamed = run("renamed.jsonl");
    EXPECT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_EQ(renamed.out, run("'" + example + "'").out);

    std::ofstream(dir / "trace.pcap") << "{\"frame\": 1}\n";
    EXPECT_EQ(run("trace.pcap").status, 0);
    Outcome notForTraces = run("--frame-ms 20 trace.pcap");
    EXPECT_EQ(notForTraces.status, 2);
    EXPECT_NE(notForTraces.err.find("are for a capture"), std::string::npos) << notForTraces.err;

    for (const char *bad : {"--frame-ms 0", "--frame-ms 1001", "--frame-ms 5x", "--server 1.2.3:4",
                            "--client 1.2.3.4", "--server 1.2.3.4:65536"}) {
        Outcome o = run(std::string(bad) + " '" + example + "'");
        EXPECT_EQ(o.status, 2) << bad;
        EXPECT_EQ(o.out, "") << bad;
    }
    Outcome absent = run("--server 10.1.1.1:7777 '" + example + "'");
    EXPECT_EQ(absent.status, 2);
    EXPECT_EQ(absent.err,
              "norvi-replay: " + example + ": the capture holds no UDP traffic of 10.1.1.1:7777\n");
    Outcome chosen = run("--server 192.168.10.10:7777 --frame-ms 20 '" + example + "'");
    EXPECT_EQ(chosen.status, 0) << chosen.err;
}

// Standard input is told to be a capture by its first bytes, and read in
// one pass (on Windows as bytes: the capture holds CR LF pairs and Ctrl-Z
// bytes); a trace there still reads as one.
TEST_F(ReplayCapture, StandardInputIsACaptureWhenItBeginsAsOne) {
    std::string bytes = readFile(example);
    ASSERT_NE(bytes.find('\x1A'), std::string::npos);
    Outcome fromFile = run("--format text '" + example + "'");
    Outcome piped = run("--format text -", bytes);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, fromFile.out);
    EXPECT_EQ(piped.err, "norvi-replay: -: skipped 1 message (1 resent duplicates, first record "
                         "26)\n");
    Outcome trace = run("-", "{\"frame\": 1}\n");
    EXPECT_EQ(trace.status, 0) << trace.err;
    EXPECT_NE(trace.out.find("norvi_setpos"), std::string::npos) << trace.out;
    // Too short to be either: a trace with a bad line.
    EXPECT_EQ(run("-", "\n\r").status, 0);
    EXPECT_EQ(run("-", "\xD4\xC3").status, 2);
}

TEST_F(ReplayCapture, ACaptureCutShortRunsWhatItHoldsAndSaysSo) {
    std::string whole = readFile(example);
    std::ofstream(dir / "cut.pcapng", std::ios::binary) << whole.substr(0, whole.size() - 10);
    Outcome o = run("cut.pcapng");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("the capture ends inside record 55"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("SprintHook"), std::string::npos);
}

// --annotate: the capture written again with comments (its content is
// tshark's to check, tests/annotate); here the command line around it.
TEST_F(ReplayCapture, TheAnnotatedCaptureIsAFileOfItsOwnBesideTheSameTranscript) {
    Outcome plain = run("'" + example + "'");
    Outcome annotated = run("--annotate a.pcapng '" + example + "'");
    ASSERT_EQ(annotated.status, 0) << annotated.err;
    EXPECT_EQ(annotated.out, plain.out);
    EXPECT_EQ(annotated.err, plain.err);
    std::string file = readFile(dir / "a.pcapng");
    EXPECT_EQ(file.substr(0, 4), "\x0A\x0D\x0D\x0A");
    EXPECT_NE(file.find("evidence 1 of 5 for the SprintHook warning about Anna_Sokol[5] at "
                        "record 23"),
              std::string::npos);
    // From a pipe, the same file.
    Outcome piped = run("--annotate b.pcapng -", readFile(example));
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(readFile(dir / "b.pcapng"), file);

    std::ofstream(dir / "t.jsonl") << "{\"frame\": 1}\n";
    Outcome trace = run("--annotate a.pcapng t.jsonl");
    EXPECT_EQ(trace.status, 2);
    EXPECT_NE(trace.err.find("for a capture"), std::string::npos) << trace.err;
    EXPECT_EQ(run("--annotate - '" + example + "'").status, 2);
    Outcome missing = run("--annotate out/a.pcapng '" + example + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "norvi-replay: cannot write out/a.pcapng: No such file or directory\n");
    EXPECT_EQ(missing.out, "");
    // Written over the capture it reads, the capture would be lost.
    fs::copy_file(example, dir / "in.pcapng");
    Outcome over = run("--annotate in.pcapng in.pcapng");
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("the capture itself"), std::string::npos) << over.err;
    EXPECT_EQ(readFile(dir / "in.pcapng"), readFile(example));
#ifndef _WIN32
    // A write that fails on the way is a failure, not a run.
    Outcome full = run("--annotate /dev/full '" + example + "'");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write /dev/full: No space left on device"), std::string::npos)
        << full.err;
#endif
}

TEST(TraceWriter, EventsReadBackAsTheyWereWritten) {
    using namespace replay;
    std::vector<Event> events = {
        SetTick{4294967295u},
        SetGame{std::nullopt},
        SetSampReady{false},
        SetPlayer{5, std::optional<std::string>("\xC2\xE0\xF1\xFF \"q\" \\"), 0xFF3399FFu},
        SetPlayer{6, std::optional<std::string>(), std::nullopt},
        SetPlayer{7, std::nullopt, 0x00000000u},
        SetScreen{800, 600},
        SetFontHeight{13.5f},
        Frames{3},
        Packet{{0xCF, 0x12, 0xE0}, 19, 0xCF},
        Packet{{0xC8}, 8, 0xC8},
        Rpc{126, {0x05, 0x00, 0x03}, 24},
        Rpc{99, {0xB4, 0xB8}, 13},
        Rpc{124, {}, 0},
    };
    std::string text;
    for (const Event &e : events) {
        std::optional<std::string> line = traceLineOf(e);
        ASSERT_TRUE(line);
        text += *line + "\n";
    }
    ParsedTrace back = parseTrace(text);
    ASSERT_FALSE(back.error) << back.error->describe() << "\n" << text;
    ASSERT_EQ(back.events.size(), events.size());
    for (size_t i = 0; i < events.size(); i++)
        EXPECT_EQ(traceLineOf(back.events[i]), traceLineOf(events[i])) << i;
    // Byte 0x98 has no character: such a name cannot be written.
    EXPECT_FALSE(traceLineOf(SetPlayer{1, std::optional<std::string>("a\x98"), std::nullopt}));
}

namespace {

// UTF-8 text from a u8 literal, for command lines and expected messages.
std::string text(std::u8string_view utf8) { return {utf8.begin(), utf8.end()}; }

} // namespace

// Every file the tool reads or writes may have a name in any script: on
// Windows a narrow name would go through the ANSI code page, which holds
// neither Cyrillic (under Wine's usual one) nor Greek nor Han at once.
TEST_F(ReplayCapture, EveryFileMayBeNamedInAnyScript) {
#if defined(_WIN32)
    const char *pluginName = "norvi_warnings.dll";
#else
    const char *pluginName = "libnorvi_warnings.so";
#endif
    fs::path recordings = dir / fs::path(u8"Записи");
    fs::path gameDir = dir / fs::path(u8"игра-遊戲");
    fs::create_directories(recordings);
    fs::create_directories(gameDir / "SAMPFUNCS");
    fs::copy_file(example, recordings / fs::path(u8"сессия.pcapng"));
    fs::copy_file(fs::path(NORVI_REPLAY).parent_path() / pluginName,
                  recordings / fs::path(u8"插件-πρόσθετο"));

    Outcome plain = run("--format text --write-trace plain.jsonl '" + example + "'");
    ASSERT_EQ(plain.status, 0) << plain.err;
    Outcome named = run(text(u8"--format text --write-trace 'Записи/запись-εγγραφή.jsonl' "
                             u8"--svg 画面.svg --timeline 'χρόνος 時間.svg' "
                             u8"--game-dir игра-遊戲 --plugin 'Записи/插件-πρόσθετο' "
                             u8"Записи/сессия.pcapng"));
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, plain.out);
    EXPECT_EQ(named.err, text(u8"norvi-replay: Записи/сессия.pcapng: skipped 1 message (1 resent "
                              u8"duplicates, first record 26)\n"));
    EXPECT_EQ(readFile(recordings / fs::path(u8"запись-εγγραφή.jsonl")),
              readFile(dir / "plain.jsonl"));
    EXPECT_NE(readFile(dir / fs::path(u8"画面.svg")).find("<svg"), std::string::npos);
    EXPECT_NE(readFile(dir / fs::path(u8"χρόνος 時間.svg")).find("<svg"), std::string::npos);
    EXPECT_NE(readFile(gameDir / "SAMPFUNCS" / "norvi_warnings.ini").find("[key_pos]"),
              std::string::npos);

    // A name the system cannot find is shown as the user wrote it, with the
    // same reason as natively.
    Outcome missing = run(text(u8"'Записи/нет-όχι-無.pcapng'"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, text(u8"norvi-replay: cannot read the trace Записи/нет-όχι-無.pcapng: "
                                u8"No such file or directory\n"));
    Outcome unwritable = run(text(u8"--write-trace 'Нет/εγγραφή.jsonl' Записи/сессия.pcapng"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, text(u8"norvi-replay: cannot write Нет/εγγραφή.jsonl: No such "
                                   u8"file or directory\n"));
}

#if !defined(_WIN32)
// --follow reads a capture that another program is still writing: what is
// there at once, then the rest as it is written, a record cut in two
// waited for rather than reported; Ctrl-C (here SIGINT from timeout, sent
// to the tool alone: without --foreground, timeout also signals its whole
// process group, a second SIGINT that ends the tool at once) ends it with
// the run finished as for the whole file.
TEST_F(ReplayCapture, FollowReadsAFileAsItIsWrittenUntilCtrlC) {
    std::string whole = readFile(example);
    fs::path growing = dir / "growing.pcapng";
    std::ofstream(growing, std::ios::binary) << whole.substr(0, whole.size() / 2);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::ofstream(growing, std::ios::binary | std::ios::app) << whole.substr(whole.size() / 2);
    });
    Outcome followed = runProgram("/usr/bin/timeout",
                                  "--foreground --preserve-status -s INT 2 '" NORVI_REPLAY
                                  "' --format text --color never --follow growing.pcapng",
                                  dir, dir / "tmp");
    writer.join();
    Outcome whole_ = run("--format text --color never '" + example + "'");
    EXPECT_EQ(followed.status, 0) << followed.err;
    EXPECT_EQ(followed.out, whole_.out);
    EXPECT_EQ(followed.err, "norvi-replay: growing.pcapng: stopped after record 55, as asked "
                            "(Ctrl-C)\n"
                            "norvi-replay: growing.pcapng: skipped 1 message (1 resent "
                            "duplicates, first record 26)\n");
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "the game folder is removed";
}
#endif
