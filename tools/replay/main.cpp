// norvi-replay: runs the plugin headless on a trace and tells what it did.
//
//   norvi-replay [--game-dir DIR] [--format jsonl|text] [--svg FILE]
//                [--plugin PATH] TRACE
//
// Exit status: 0 the trace ran; 1 the plugin or the game folder could not
// be used; 2 a bad command line or a bad trace line (then nothing runs).
#include "loader.h"
#include "platform.h"
#include "run.h"
#include "svg.h"
#include "trace.h"
#include "transcript.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char usage[] = "usage: norvi-replay [--game-dir DIR] [--format jsonl|text] [--svg FILE] "
                     "[--plugin PATH] TRACE\n"
                     "TRACE is a trace file, or - for standard input.\n";

struct Options {
    std::string trace;
    std::optional<std::string> gameDir, svg, plugin;
    bool text = false;
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
        bool takesValue =
            arg == "--game-dir" || arg == "--format" || arg == "--svg" || arg == "--plugin";
        if (takesValue) {
            if (i + 1 >= argc)
                return usageError(arg + " needs a value");
            std::string value = argv[++i];
            if (arg == "--game-dir")
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

bool readAll(const std::string &path, std::string &text) {
    std::ostringstream all;
    if (path == "-") {
        all << std::cin.rdbuf();
    } else {
        // A file is read straight into the text, in one piece: a generated
        // trace may be a hundred megabytes. A pipe cannot tell its size and
        // is read as it comes.
        std::error_code ignored;
        if (fs::is_directory(path, ignored)) {
            errno = EISDIR;
            return false;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        std::streamoff size = in.seekg(0, std::ios::end) ? std::streamoff(in.tellg()) : -1;
        // (A 32-bit program cannot hold a file past 2 GiB in one piece.)
        if (size > std::numeric_limits<std::streamsize>::max()) {
            errno = EFBIG;
            return false;
        }
        if (size >= 0 && in.seekg(0)) {
            text.resize(static_cast<size_t>(size));
            return static_cast<bool>(in.read(text.data(), static_cast<std::streamsize>(size)));
        }
        in.clear();
        all << in.rdbuf();
    }
    text = std::move(all).str();
    return true;
}

} // namespace

int main(int argc, char **argv) {
    replay::prepareStandardOutput();
    Options options;
    if (std::optional<int> status = readArguments(argc, argv, options))
        return *status;

    std::string text;
    if (!readAll(options.trace, text)) {
        (void)std::fprintf(stderr, "norvi-replay: cannot read the trace %s: %s\n",
                           options.trace.c_str(), std::strerror(errno));
        return 2;
    }
    replay::ParsedTrace trace = replay::parseTrace(text);
    if (trace.error) {
        std::string name = options.trace == "-" ? "-" : options.trace;
        (void)std::fprintf(stderr, "%s:%s\n", name.c_str(), trace.error->describe().c_str());
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
        picture = replay::play(trace.events, *transcript);
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
