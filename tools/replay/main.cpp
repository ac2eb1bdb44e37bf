// norvi-replay: runs the plugin headless on a trace and tells what it did.
//
//   norvi-replay [--game-dir DIR] [--format jsonl|text] [--svg FILE]
//                [--plugin PATH] [--server HOST:PORT] [--frame-ms F]
//                [--write-trace FILE] TRACE|CAPTURE
//
// Exit status: 0 the trace ran; 1 the plugin or the game folder could not
// be used; 2 a bad command line or a bad trace line (then nothing runs).
#include "capture_input.h"
#include "loader.h"
#include "platform.h"
#include "run.h"
#include "svg.h"
#include "trace.h"
#include "trace_file.h"
#include "transcript.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char usage[] = "usage: norvi-replay [--game-dir DIR] [--format jsonl|text] [--svg FILE] "
                     "[--plugin PATH] [--server HOST:PORT] [--frame-ms F] [--write-trace FILE] "
                     "TRACE|CAPTURE\n"
                     "TRACE is a trace file, or - for standard input; CAPTURE a pcap or pcapng "
                     "file.\n";

struct Options {
    std::string trace;
    std::optional<std::string> gameDir, svg, plugin;
    bool text = false;
    // For a capture only.
    replay::CaptureInput capture;
    bool captureOption = false;
};

int usageError(const std::string &message) {
    (void)std::fprintf(stderr, "norvi-replay: %s\n%s", message.c_str(), usage);
    return 2;
}

// Fills `options`; on a bad command line returns the exit status.
std::optional<int> readArguments(int argc, char **argv, Options &options) {
    bool haveTrace = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            (void)std::fputs(usage, stdout);
            return 0;
        }
        bool captureOption = arg == "--server" || arg == "--frame-ms" || arg == "--write-trace";
        bool takesValue = arg == "--game-dir" || arg == "--format" || arg == "--svg" ||
                          arg == "--plugin" || captureOption;
        if (takesValue) {
            if (i + 1 >= argc)
                return usageError(arg + " needs a value");
            std::string value = argv[++i];
            options.captureOption |= captureOption;
            if (arg == "--server") {
                options.capture.options.server = capture::parseEndpoint(value);
                if (!options.capture.options.server)
                    return usageError("--server is HOST:PORT (four numbers and a port), not \"" +
                                      value + "\"");
            } else if (arg == "--frame-ms") {
                char *end = nullptr;
                long ms = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || ms < 1 || ms > 1000)
                    return usageError("--frame-ms is a whole number from 1 to 1000, not \"" +
                                      value + "\"");
                options.capture.options.frameMs = static_cast<uint32_t>(ms);
            } else if (arg == "--write-trace") {
                options.capture.traceOut = value;
            } else if (arg == "--game-dir")
                options.gameDir = value;
            else if (arg == "--svg")
                options.svg = value;
            else if (arg == "--plugin")
                options.plugin = value;
            else if (value == "text" || value == "jsonl")
                options.text = value == "text";
            else
                return usageError("--format is jsonl or text, not \"" + value + "\"");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (haveTrace) {
            return usageError("one trace only");
        } else {
            options.trace = arg;
            haveTrace = true;
        }
    }
    if (!haveTrace)
        return usageError("no trace given");
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv) {
    replay::prepareStandardOutput();
    Options options;
    if (std::optional<int> status = readArguments(argc, argv, options))
        return *status;

    // A capture is told by its first bytes, whatever its name.
    bool isCapture = replay::isCaptureFile(options.trace);
    if (options.captureOption && !isCapture)
        return usageError("--server, --frame-ms and --write-trace are for a capture; " +
                          options.trace + " is no pcap or pcapng file");
    // Opened after the game folder has become the current directory.
    options.capture.name = options.trace;
    options.capture.path = fs::absolute(options.trace).string();
    if (options.capture.traceOut && *options.capture.traceOut != "-")
        options.capture.traceOut = fs::absolute(*options.capture.traceOut).string();

    // The whole trace is checked before anything runs: a bad line runs
    // nothing.
    replay::TraceFile trace;
    std::optional<replay::TraceError> bad;
    if (!isCapture && trace.open(options.trace))
        bad = trace.check();
    if (!trace.readError().empty()) {
        (void)std::fprintf(stderr, "norvi-replay: cannot read the trace %s: %s\n",
                           options.trace.c_str(), trace.readError().c_str());
        return 2;
    }
    if (bad) {
        (void)std::fprintf(stderr, "%s:%s\n", options.trace.c_str(), bad->describe().c_str());
        return 2;
    }

    // Paths from the command line are taken from where the tool was started,
    // before the game folder becomes the current directory.
    std::string pluginPath =
        fs::absolute(options.plugin.value_or(host::pluginBesideExecutable())).string();
    std::optional<fs::path> svgPath;
    if (options.svg)
        svgPath = fs::absolute(*options.svg);

    // Without --game-dir, a fresh game folder holding an empty SAMPFUNCS
    // folder, removed on the way out.
    fs::path gameDir;
    if (options.gameDir) {
        gameDir = *options.gameDir;
    } else {
        gameDir = replay::makeTemporaryFolder("norvi-replay");
        if (gameDir.empty()) {
            (void)std::fprintf(stderr, "norvi-replay: cannot make a temporary game folder: %s\n",
                               replay::lastErrorText().c_str());
            return 1;
        }
        std::error_code ignored;
        fs::create_directory(gameDir / "SAMPFUNCS", ignored);
    }
    if (!replay::enterFolder(gameDir)) {
        (void)std::fprintf(stderr, "norvi-replay: cannot use the game folder %s: %s\n",
                           replay::pathText(gameDir).c_str(), replay::lastErrorText().c_str());
        return 1;
    }

    replay::Picture picture;
    {
        host::reset();
        host::LoadedPlugin plugin(pluginPath);
        if (!plugin.loaded()) {
            (void)std::fprintf(stderr, "norvi-replay: %s\n", plugin.error().c_str());
            return 1;
        }
        std::unique_ptr<replay::Transcript> transcript =
            options.text ? replay::textTranscript(stdout, replay::isTerminal(stdout))
                         : replay::jsonlTranscript(stdout);
        replay::Runner runner(*transcript);
        auto run = [&](const replay::Event &event, uint64_t origin) { runner.run(event, origin); };
        if (isCapture) {
            std::vector<std::string> messages;
            int status = replay::playCapture(options.capture, run, messages);
            picture = runner.finish();
            (void)std::fflush(stdout);
            for (const std::string &line : messages)
                (void)std::fprintf(stderr, "%s\n", line.c_str());
            if (status != 0)
                return status;
        }
        bool read = isCapture || trace.play(run);
        if (!isCapture)
            picture = runner.finish();
        if (!read) {
            (void)std::fprintf(stderr, "norvi-replay: cannot read the trace %s: %s\n",
                               options.trace.c_str(), trace.readError().c_str());
            return 2;
        }
        if (transcript->failed()) {
            (void)std::fprintf(stderr, "norvi-replay: cannot write the transcript: %s\n",
                               std::strerror(errno));
            return 1;
        }
    }

    if (svgPath) {
        std::ofstream out(*svgPath, std::ios::binary | std::ios::trunc);
        out << replay::svgOf(picture);
        if (!out.flush()) {
            (void)std::fprintf(stderr, "norvi-replay: cannot write the picture %s\n",
                               replay::pathText(*svgPath).c_str());
            return 1;
        }
    }
    return 0;
}
