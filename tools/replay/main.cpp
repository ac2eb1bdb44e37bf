// norvi-replay: runs the plugin headless on a trace or a packet capture and
// tells what it did.
// The command line (CLI11) builds one source, one runner and the outputs
// asked for; `norvi-replay --help` lists everything.
#include "annotation.h"
#include "capture_input.h"
#include "exit_status.h"
#include "filter.h"
#include "loader.h"
#include "output_files.h"
#include "platform.h"
#include "progress.h"
#include "report.h"
#include "run.h"
#include "screen_svg.h"
#include "summary.h"
#include "sync_packet.h"
#include "timeline.h"
#include "trace.h"
#include "trace_file.h"
#include "transcript.h"

#include "norvi_version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char exitStatuses[] =
    "Exit status:\n"
    "  0  the trace or capture ran\n"
    "  1  the plugin could not be loaded, the game folder could not be used, or an output\n"
    "     (the transcript, a picture) could not be written\n"
    "  2  a bad command line, an unreadable trace, or a bad trace line (then nothing runs);\n"
    "     a file that is no capture of a game session\n"
    "  3  with --fail-on-warning: the trace ran and the plugin posted a warning\n";

// Where the plugin is looked for by default: host::pluginForTool.
#if defined(_WIN32)
const char pluginHelp[] = "The plugin library to load [the one beside the tool]";
#else
const char pluginHelp[] = "The plugin library to load [the one beside the tool, else the one in "
                          "../lib/norvi-replay/ from its folder, where the Debian package puts it]";
#endif

struct Options {
    std::string trace, follow;
    std::string format = "jsonl";
    std::string color = "auto";
    std::string gameDir, svg, timeline, report, plugin;
    std::string from, to;
    std::vector<int> players;
    bool summary = false, failOnWarning = false;
    // For a capture only.
    std::string server, client, writeTrace, annotate;
    uint32_t frameMs = 50;
    bool captureOptionsGiven = false, serverGiven = false;
};

void complain(const std::string &message) {
    (void)std::fprintf(stderr, "norvi-replay: %s\n", message.c_str());
}

// "12.5" (seconds from the first event) or "tick:N" into the filter.
bool readTime(const std::string &text, std::optional<double> &seconds,
              std::optional<uint32_t> &tick) {
    const char *end = text.data() + text.size();
    if (text.rfind("tick:", 0) == 0) {
        uint32_t n = 0;
        auto [at, error] = std::from_chars(text.data() + 5, end, n);
        if (error != std::errc() || at != end || text.size() == 5)
            return false;
        tick = n;
        return true;
    }
    char *stop = nullptr;
    double s = std::strtod(text.c_str(), &stop);
    if (text.empty() || stop != text.c_str() + text.size() || !(s >= 0) || s > 1e12)
        return false;
    seconds = s;
    return true;
}

// Reads the command line into `o`. A status when the tool is to stop at
// once (help, version, a bad command line), else nothing.
std::optional<int> readCommandLine(int argc, char **argv, Options &o) {
    CLI::App app{"norvi-replay " NORVI_VERSION
                 ": runs the norvi warnings plugin headless on a recorded session (a trace) "
                 "and tells what it did: chat lines, the key column it drew, everything it "
                 "asked of the game.",
                 "norvi-replay"};
    // Options are written --name everywhere: on Windows too, a word such as
    // /recordings/a.jsonl is a path, not a Windows-style /option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "norvi-replay " NORVI_VERSION);
    CLI::Option *trace =
        app.add_option("TRACE", o.trace,
                       "The trace file, or a packet capture file (pcap or pcapng), known by its "
                       "content; - reads either from standard input")
            ->type_name("");
    CLI::Option *follow =
        app.add_option("--follow", o.follow,
                       "Instead of TRACE: a capture file that another program is still "
                       "writing, read as it grows until Ctrl-C")
            ->type_name("FILE")
            ->excludes(trace);
    CLI::Option *server =
        app.add_option(
               "--server", o.server,
               "A capture: the game server to follow (by default the first one connected to)")
            ->type_name("HOST:PORT");
    CLI::Option *client =
        app.add_option("--client", o.client,
                       "A capture taken on the server: the client whose view runs (by default "
                       "the first one)")
            ->type_name("HOST:PORT");
    CLI::Option *frameMs =
        app.add_option("--frame-ms", o.frameMs,
                       "A capture: run a game frame every F ms of capture time [50]")
            ->check(CLI::Range(1, 1000))
            ->type_name("F");
    CLI::Option *writeTrace =
        app.add_option("--write-trace", o.writeTrace,
                       "A capture: also write the equivalent trace to FILE (- for standard "
                       "output)")
            ->type_name("FILE");
    CLI::Option *annotate =
        app.add_option("--annotate", o.annotate,
                       "A capture: also write it again as pcapng, with a comment on every packet "
                       "the plugin acted on, for Wireshark")
            ->type_name("FILE");
    app.add_option("--format", o.format,
                   "jsonl: one JSON object a line, for programs [default]; text: for people")
        ->check(CLI::IsMember({"jsonl", "text"}))
        ->type_name("FORMAT");
    app.add_flag("--summary", o.summary,
                 "End with a summary: warned players, spectated players, counts (the text "
                 "format always has it)");
    app.add_option("--player", o.players,
                   "Show only the warnings about these players, and the key column while one of "
                   "them is spectated (ID[,ID...])")
        ->delimiter(',')
        // One word a time, so that the trace's name after it stays the trace.
        ->allow_extra_args(false)
        ->check(CLI::Range(0, 65535))
        ->type_name("ID");
    app.add_option("--from", o.from,
                   "Show only what happened from this time on: seconds from the first event, or "
                   "tick:N")
        ->type_name("TIME");
    app.add_option("--to", o.to, "Show only what happened up to this time (as --from)")
        ->type_name("TIME");
    app.add_flag("--fail-on-warning", o.failOnWarning,
                 "Exit with status 3 when the plugin posted any warning");
    app.add_option("--color", o.color,
                   "Colours in the text format: auto (on a terminal, unless NO_COLOR is set) "
                   "[default], always, never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->type_name("WHEN");
    app.add_option("--svg", o.svg,
                   "Write the screen at the end (key column and chat) as an SVG picture; - for "
                   "standard output")
        ->type_name("FILE");
    app.add_option("--timeline", o.timeline,
                   "Write the whole session as an SVG timeline; - for standard output")
        ->type_name("FILE");
    app.add_option("--report", o.report,
                   "Write the run as one self-contained HTML page to share (what was read, the "
                   "timeline, every warning with its evidence, the players); - for standard "
                   "output")
        ->type_name("FILE");
    app.add_option("--game-dir", o.gameDir,
                   "The folder that stands for the game's folder (its SAMPFUNCS folder holds the "
                   "position file); a fresh temporary one by default")
        ->type_name("DIR");
    app.add_option("--plugin", o.plugin, pluginHelp)->type_name("PATH");
    app.footer(exitStatuses);

    std::vector<std::string> arguments = replay::commandLineArguments(argc, argv);
    if (!arguments.empty())
        arguments.erase(arguments.begin());
    // Started with a double click, the tool has a console window of its own,
    // which would close as soon as it ends: the usage waits for Enter.
    if (arguments.empty() && replay::consoleOfItsOwn()) {
        (void)std::fputs(app.help().c_str(), stdout);
        (void)std::fputs("\nnorvi-replay is a command line program: open a command prompt in its "
                         "folder and give it a recorded session, for example\n"
                         "    norvi-replay --format text C:\\recordings\\session.jsonl\n"
                         "\nPress Enter to close this window.\n",
                         stdout);
        (void)std::fflush(stdout);
        (void)std::getchar();
        return replay::exitBadInput;
    }
    std::reverse(arguments.begin(), arguments.end());
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError &e) {
        int status = app.exit(e);
        return status == 0 ? replay::exitRan : replay::exitBadInput;
    }
    if (trace->count() == 0 && follow->count() == 0) {
        (void)app.exit(CLI::RequiredError("TRACE"));
        return replay::exitBadInput;
    }

    if (!o.follow.empty())
        o.trace = o.follow;
    o.captureOptionsGiven = server->count() || client->count() || frameMs->count() ||
                            writeTrace->count() || annotate->count();
    o.serverGiven = server->count() != 0;
    return std::nullopt;
}

// What the command line asks for, checked before anything runs.
struct Request {
    replay::Filter filter;
    bool isCapture = false; // else a trace
    replay::CaptureInput capture;
    // A trace checked whole before anything runs; else checked while it
    // runs, the transcript held until its last line is found good.
    bool checkFirst = false;
};

// Turns the options into a request. A status when something is wrong.
std::optional<int> checkRequest(const Options &o, Request &r) {
    replay::Filter &filter = r.filter;
    for (int p : o.players)
        filter.players.insert(static_cast<uint16_t>(p));
    if (!o.from.empty() && !readTime(o.from, filter.fromSeconds, filter.fromTick)) {
        complain("--from: \"" + o.from + "\" is neither seconds nor tick:N");
        return replay::exitBadInput;
    }
    if (!o.to.empty() && !readTime(o.to, filter.toSeconds, filter.toTick)) {
        complain("--to: \"" + o.to + "\" is neither seconds nor tick:N");
        return replay::exitBadInput;
    }
    if ((o.svg == "-") + (o.timeline == "-") + (o.report == "-") > 1) {
        complain("only one of --svg, --timeline and --report can go to standard output");
        return replay::exitBadInput;
    }

    // A capture is told by its first bytes, whatever its name. A file being
    // written may not have its first bytes yet.
    bool following = !o.follow.empty();
    if (following && o.follow == "-") {
        complain("--follow is for a file; standard input (-) is read as it comes anyway");
        return replay::exitBadInput;
    }
    bool isCapture = r.isCapture =
        replay::isCaptureFile(o.trace) || (following && replay::captureMayStillBegin(o.trace));
    if (following && !isCapture) {
        complain("--follow is for a capture; " + o.trace + " is no pcap or pcapng file");
        return replay::exitBadInput;
    }
    replay::CaptureInput &capture = r.capture;
    if (!isCapture && o.captureOptionsGiven) {
        complain(
            "--server, --client, --frame-ms, --write-trace and --annotate are for a capture; " +
            o.trace + " is no pcap or pcapng file");
        return replay::exitBadInput;
    }
    if (isCapture) {
        capture.name = o.trace;
        // Opened after the game folder has become the current directory.
        capture.path = o.trace == "-" ? fs::path("-") : fs::absolute(replay::pathOf(o.trace));
        capture.follow = following;
        capture.options.frameMs = o.frameMs;
        if (o.serverGiven) {
            capture.options.server = capture::parseEndpoint(o.server);
            if (!capture.options.server) {
                complain("--server: \"" + o.server + "\" is not HOST:PORT (an IPv4 address)");
                return replay::exitBadInput;
            }
        }
        if (!o.client.empty()) {
            capture.options.client = capture::parseEndpoint(o.client);
            if (!capture.options.client) {
                complain("--client: \"" + o.client + "\" is not HOST:PORT (an IPv4 address)");
                return replay::exitBadInput;
            }
        }
        if (!o.writeTrace.empty()) {
            capture.traceOut =
                o.writeTrace == "-" ? fs::path("-") : fs::absolute(replay::pathOf(o.writeTrace));
            capture.traceName = o.writeTrace;
        }
        if (o.annotate == "-") {
            complain("--annotate writes a file (standard output carries the transcript)");
            return replay::exitBadInput;
        }
        // Opened for writing before the capture is read, it would be
        // emptied first.
        std::error_code ignored;
        if (!o.annotate.empty() && o.trace != "-" &&
            fs::equivalent(replay::pathOf(o.annotate), replay::pathOf(o.trace), ignored)) {
            complain("--annotate: " + o.annotate +
                     " is the capture itself; the annotated copy needs a file of its own");
            return replay::exitBadInput;
        }
        if (o.writeTrace == "-" && (o.svg == "-" || o.timeline == "-" || o.report == "-")) {
            complain("--write-trace and a picture or the report cannot both go to standard output");
            return replay::exitBadInput;
        }
    }

    // The page is written when the run ends: over the input, it would lose
    // the very file it describes.
    std::error_code notTheSame;
    if (!o.report.empty() && o.report != "-" && o.trace != "-" &&
        fs::equivalent(replay::pathOf(o.report), replay::pathOf(o.trace), notTheSame)) {
        complain("--report " + o.report + " is the input itself: name another file");
        return replay::exitBadInput;
    }

    // Outputs are checked before anything runs.
    for (const std::string *path : {&o.svg, &o.timeline, &o.report, &o.writeTrace, &o.annotate}) {
        std::string reason;
        if (!path->empty() && *path != "-" && !replay::canWrite(*path, reason)) {
            complain("cannot write " + *path + ": " + reason);
            return replay::exitCannotRun;
        }
    }

    r.checkFirst = !isCapture && !o.gameDir.empty();
    return std::nullopt;
}

// The status for a trace that could not be read or holds a bad line, said
// on standard error; nothing when it is good.
std::optional<int> traceFailure(const Options &o, const replay::TraceFile &trace,
                                const std::optional<replay::TraceError> &bad) {
    if (!trace.readError().empty()) {
        complain("cannot read the trace " + o.trace + ": " + trace.readError());
        return replay::exitBadInput;
    }
    if (bad) {
        (void)std::fprintf(stderr, "%s:%s\n", o.trace.c_str(), bad->describe().c_str());
        return replay::exitBadInput;
    }
    return std::nullopt;
}

// Opens the trace (checking it whole first when asked), and the temporary
// file that holds the transcript of a trace checked while it runs. A status
// when the tool cannot go on.
std::optional<int> openTrace(const Options &o, const Request &r, replay::TraceFile &trace,
                             replay::FileCloser &held) {
    bool isCapture = r.isCapture, checkFirst = r.checkFirst;
    std::optional<replay::TraceError> bad;
    if (!isCapture && trace.open(o.trace) && checkFirst)
        bad = trace.check();
    if (std::optional<int> stop = traceFailure(o, trace, bad))
        return stop;
    if (checkFirst && trace.events() == 0)
        complain("the trace " + o.trace + " holds no events: only the plugin's start is shown");
    if (!isCapture && !checkFirst) {
        held.file = replay::openTemporaryFile();
        if (!held.file) {
            complain("cannot hold the transcript in a temporary file: " + replay::lastErrorText());
            return replay::exitCannotRun;
        }
    }

    return std::nullopt;
}

// Makes the game folder the current directory: the one --game-dir names,
// or a fresh one holding an empty SAMPFUNCS folder, removed on every way
// out. A status when it cannot be used.
std::optional<int> enterGameFolder(const Options &o) {
    fs::path gameDir;
    if (!o.gameDir.empty()) {
        gameDir = replay::pathOf(o.gameDir);
    } else {
        gameDir = replay::makeTemporaryFolder("norvi-replay");
        if (gameDir.empty()) {
            complain("cannot make a temporary game folder: " + replay::lastErrorText());
            return replay::exitCannotRun;
        }
        std::error_code ignored;
        fs::create_directory(gameDir / "SAMPFUNCS", ignored);
    }
    if (!replay::enterFolder(gameDir)) {
        complain("cannot use the game folder " + replay::pathText(gameDir) + ": " +
                 replay::lastErrorText());
        return replay::exitCannotRun;
    }

    return std::nullopt;
}

// Plays the trace or the capture to the runner. A status when the trace
// turns out unreadable or bad, so that nothing is to be shown; else the
// capture's own status in `captureStatus` and what its reader said in
// `messages`.
std::optional<int> playSource(const Options &o, const Request &r, replay::TraceFile &trace,
                              replay::Runner &runner, std::vector<std::string> &messages,
                              int &captureStatus, std::string &serverFollowed) {
    bool isCapture = r.isCapture, checkFirst = r.checkFirst;
    std::optional<replay::TraceError> bad;
    auto run = [&](const replay::Event &event, uint64_t origin) { runner.run(event, origin); };
    // A capture is mostly packets, a trace mostly sync lines: both go
    // straight to the plugin as bytes.
    replay::TraceFile::Play play{run,
                                 [&](const unsigned char *bytes, uint32_t bitCount, uint64_t line) {
                                     runner.runPacket(bytes, bitCount, host::playerSyncId, line);
                                 }};
    auto packets = [&](const unsigned char *bytes, uint32_t bitCount, uint32_t id,
                       uint64_t record) { runner.runPacket(bytes, bitCount, id, record); };
    if (isCapture)
        captureStatus = replay::playCapture(r.capture, run, packets, messages, &serverFollowed);
    if (!isCapture && checkFirst)
        (void)trace.play(play);
    if (!isCapture && !checkFirst) {
        // The transcript waits for the last line: meanwhile a terminal
        // is told how far the tool has got.
        std::error_code unknown;
        uint64_t total = o.trace == "-" ? 0 : fs::file_size(replay::pathOf(o.trace), unknown);
        replay::Progress progress(unknown ? 0 : total);
        if (replay::isTerminal(stderr))
            trace.progress = [&progress](uint64_t bytes) { progress.show(bytes); };
        bad = trace.checkAndPlay(play);
    }
    // What ran is dropped with the held transcript.
    if (std::optional<int> stop = traceFailure(o, trace, bad))
        return stop;
    if (!isCapture && !checkFirst && trace.events() == 0)
        complain("the trace " + o.trace + " holds no events: only the plugin's start is shown");
    return std::nullopt;
}

// A word of the command line as a shell would need it typed: quoted when it
// holds anything but letters, digits and a few safe marks.
std::string shellWord(const std::string &word) {
    bool plain = !word.empty();
    for (char c : word)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) ||
                          std::strchr("_./:=,@%+-", c) != nullptr);
    if (plain)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What the report says of the input and of the run.
replay::ReportSource reportSource(const Options &o, const Request &r, const fs::path &inputPath,
                                  const std::string &serverFollowed,
                                  const std::vector<std::string> &messages, int argc, char **argv) {
    replay::ReportSource source;
    source.name = o.trace;
    source.path = inputPath;
    source.isCapture = r.isCapture;
    if (r.isCapture) {
        source.server = serverFollowed;
        source.client = o.client.empty() ? "the first one the server sent to" : o.client;
    }
    std::vector<std::string> arguments = replay::commandLineArguments(argc, argv);
    source.commandLine = "norvi-replay";
    for (size_t i = 1; i < arguments.size(); i++)
        source.commandLine += " " + shellWord(arguments[i]);
    source.plugin = o.plugin.empty() ? "norvi_warnings " NORVI_VERSION ", the one beside the tool"
                                     : "the one given: " + o.plugin;
    source.messages = messages;
    return source;
}

} // namespace

static int runTool(int argc, char **argv) {
    replay::prepareStandardInput();
    replay::prepareStandardOutput();
    Options o;
    if (std::optional<int> stop = readCommandLine(argc, argv, o))
        return *stop;
    Request request;
    if (std::optional<int> stop = checkRequest(o, request))
        return *stop;
    bool isCapture = request.isCapture;
    replay::TraceFile trace;
    replay::FileCloser held;
    if (std::optional<int> stop = openTrace(o, request, trace, held))
        return *stop;

    // Paths from the command line are taken from where the tool was
    // started, before the game folder becomes the current directory.
    fs::path pluginPath = fs::absolute(o.plugin.empty() ? replay::pathOf(host::pluginForTool())
                                                        : replay::pathOf(o.plugin));
    std::string svgPath = o.svg.empty() || o.svg == "-"
                              ? o.svg
                              : replay::pathText(fs::absolute(replay::pathOf(o.svg)));
    std::string timelinePath = o.timeline.empty() || o.timeline == "-"
                                   ? o.timeline
                                   : replay::pathText(fs::absolute(replay::pathOf(o.timeline)));
    std::string reportPath = o.report.empty() || o.report == "-"
                                 ? o.report
                                 : replay::pathText(fs::absolute(replay::pathOf(o.report)));
    // The input the report describes, named before the game folder becomes
    // the current directory.
    fs::path inputPath = o.trace == "-" ? fs::path() : fs::absolute(replay::pathOf(o.trace));
    fs::path annotatePath =
        o.annotate.empty() ? fs::path() : fs::absolute(replay::pathOf(o.annotate));

    if (std::optional<int> stop = enterGameFolder(o))
        return *stop;

    bool text = o.format == "text";
    const char *noColor = std::getenv("NO_COLOR");
    bool colours =
        text && (o.color == "always" ||
                 (o.color == "auto" && replay::isTerminal(stdout) && !(noColor && *noColor)));
    replay::Summary summary;
    replay::ScreenOutput screen;
    replay::Timeline timeline;
    bool warnedAny = false;
    {
        host::reset();
        host::LoadedPlugin plugin(replay::pathText(pluginPath));
        if (!plugin.loaded()) {
            complain(plugin.error());
            return replay::exitCannotRun;
        }
        // Effects are placed by trace line, or by capture record.
        const char *originName = isCapture ? "record" : "line";
        std::FILE *out = held.file ? held.file : stdout;
        std::unique_ptr<replay::Transcript> transcript =
            text ? replay::textTranscript(out, colours, originName)
                 : replay::jsonlTranscript(out, originName);
        // The annotated capture is written as the capture is read: opened
        // (and emptied) only now that the run begins.
        std::unique_ptr<replay::Annotation> annotation;
        if (!annotatePath.empty()) {
            std::FILE *file = replay::openFile(annotatePath, "wb");
            if (!file) {
                complain("cannot write " + o.annotate + ": " + std::strerror(errno));
                return replay::exitCannotRun;
            }
            annotation = std::make_unique<replay::Annotation>(file, "norvi-replay " NORVI_VERSION);
            request.capture.options.everyRecord = [a = annotation.get()](const capture::Record &r) {
                a->record(r);
            };
        }
        replay::Filtered filtered(*transcript, request.filter);
        // The outputs, in the order they are called: the summary ends
        // before the transcript shows it.
        std::vector<replay::Output *> outputs;
        if (text || o.summary || !o.report.empty())
            outputs.push_back(&summary);
        if (text || o.summary)
            transcript->endWith(&summary);
        outputs.push_back(&filtered);
        if (!o.svg.empty())
            outputs.push_back(&screen);
        if (!o.timeline.empty())
            outputs.push_back(&timeline);
        replay::Report report(originName);
        report.endWith(&summary);
        if (!o.report.empty())
            outputs.push_back(&report);
        if (annotation)
            outputs.push_back(annotation.get());
        replay::Runner runner(outputs);
        // Whatever waits for input lets the user see what came so far.
        request.capture.beforeWait = [&runner] { runner.flush(); };
        std::vector<std::string> messages;
        int captureStatus = replay::exitRan;
        std::string serverFollowed;
        if (std::optional<int> stop =
                playSource(o, request, trace, runner, messages, captureStatus, serverFollowed))
            return *stop;
        report.source(reportSource(o, request, inputPath, serverFollowed, messages, argc, argv));
        runner.finish();
        if (held.file && !transcript->failed() && !replay::copyHeld(held.file, stdout)) {
            complain("cannot write the transcript to standard output: " + replay::lastErrorText());
            return replay::exitCannotRun;
        }
        // What the capture reader had to say comes after the transcript.
        (void)std::fflush(stdout);
        for (const std::string &line : messages)
            (void)std::fprintf(stderr, "%s\n", line.c_str());
        if (captureStatus != replay::exitRan) {
            // Nothing ran: no annotated copy is left either.
            std::error_code ignored;
            if (annotation)
                fs::remove(annotatePath, ignored);
            return captureStatus;
        }
        warnedAny = runner.warned();
        if (transcript->failed()) {
            complain(std::string("cannot ") +
                     (held.file ? "hold the transcript in a temporary file: "
                                : "write the transcript to standard output: ") +
                     replay::lastErrorText());
            return replay::exitCannotRun;
        }
        if (!reportPath.empty()) {
            std::string reason;
            if (!replay::writePicture(reportPath, report.page(), reason)) {
                complain("cannot write " + o.report + ": " + reason);
                return replay::exitCannotRun;
            }
        }
        if (!timelinePath.empty()) {
            std::string reason;
            if (!replay::writePicture(timelinePath, timeline.svg(runner.seconds()), reason)) {
                complain("cannot write " + o.timeline + ": " + reason);
                return replay::exitCannotRun;
            }
        }
        if (annotation && annotation->failed()) {
            complain("cannot write " + o.annotate + ": " + std::strerror(annotation->error()));
            return replay::exitCannotRun;
        }
        if (annotation && annotation->lostComments() > 0)
            complain(o.annotate + ": " + std::to_string(annotation->lostComments()) +
                     " comments came for records already written and are left out");
    }
    if (!svgPath.empty()) {
        std::string reason;
        if (!replay::writePicture(svgPath, replay::svgOfScreen(screen.screen), reason)) {
            complain("cannot write " + o.svg + ": " + reason);
            return replay::exitCannotRun;
        }
    }
    return o.failOnWarning && warnedAny ? replay::exitWarned : replay::exitRan;
}

int main(int argc, char **argv) {
    try {
        return runTool(argc, argv);
    } catch (const std::exception &e) {
        // Out of memory, say: said plainly rather than by an abort.
        complain(e.what());
        return replay::exitCannotRun;
    }
}
