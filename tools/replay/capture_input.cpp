#include "capture_input.h"

#include "capture/container.h"
#include "input.h"
#include "platform.h"
#include "trace_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace replay {

bool isCaptureFile(const std::string &path) {
    if (path == "-") {
        std::string_view start = peekStandardInput(4);
        return capture::looksLikeCapture(reinterpret_cast<const unsigned char *>(start.data()),
                                         start.size());
    }
    unsigned char start[4];
    std::FILE *f = openFile(pathOf(path), "rb");
    if (!f)
        return false;
    size_t got = std::fread(start, 1, sizeof start, f);
    (void)std::fclose(f);
    return capture::looksLikeCapture(start, got);
}

bool captureMayStillBegin(const std::string &path) {
    std::error_code error;
    uintmax_t size = std::filesystem::file_size(pathOf(path), error);
    return !error && size < 4;
}

ExitStatus playCapture(const CaptureInput &input,
                       const std::function<void(const Event &, uint64_t)> &run,
                       const capture::PacketSink &packets, std::vector<std::string> &messages,
                       std::string *server) {
    auto say = [&messages](const std::string &line) {
        messages.push_back("norvi-replay: " + line);
    };
    StreamInput in;
    std::FILE *trace = nullptr;
    in.beforeWait = [&input, &trace] {
        if (input.beforeWait)
            input.beforeWait();
        if (trace)
            (void)std::fflush(trace);
    };
    if (input.path == "-") {
        in.openStandardInput();
    } else if (!in.openFile(input.path, input.follow)) {
        say("cannot read the capture " + input.name + ": " + in.error());
        return exitBadInput;
    }
    // A live stream's first Ctrl-C ends it as if it had ended there, so
    // that what it brought still runs and the run finishes as for a file.
    if (in.live())
        stopGentlyOnInterrupt();
    if (input.traceOut) {
        trace = *input.traceOut == "-" ? stdout : openFile(*input.traceOut, "wb");
        if (!trace) {
            say("cannot write the trace " + input.traceName + ": " + std::strerror(errno));
            return exitCannotRun;
        }
    }
    uint64_t unwritten = 0, firstUnwritten = 0;
    bool traceFailed = false;
    // Said at once, not after the run: a user watching a stream with no
    // game in it learns why nothing shows.
    capture::Options options = input.options;
    options.onWaiting = [&input](const std::string &line) {
        (void)std::fprintf(stderr, "norvi-replay: %s: %s\n", input.name.c_str(), line.c_str());
        (void)std::fflush(stderr);
    };
    auto writeTrace = [&](const Event &event, uint64_t record) {
        if (std::optional<std::string> line = traceLineOf(event)) {
            line->push_back('\n');
            traceFailed |= std::fwrite(line->data(), 1, line->size(), trace) != line->size();
        } else if (unwritten++ == 0) {
            firstUnwritten = record;
        }
    };
    // Packets go straight to the runner, unless the trace is written too.
    options.packets = packets;
    if (trace)
        options.packets = [&](const unsigned char *bytes, uint32_t bitCount, uint32_t id,
                              uint64_t record) {
            writeTrace(Packet{{bytes, bytes + (bitCount + 7) / 8}, bitCount, id}, record);
            packets(bytes, bitCount, id, record);
        };
    capture::Result result =
        capture::readCapture(in, options, [&](const Event &event, uint64_t record) {
            if (trace)
                writeTrace(event, record);
            run(event, record);
        });
    int traceErrno = traceFailed ? errno : 0;
    if (trace && trace != stdout && std::fclose(trace) != 0 && !traceFailed) {
        traceFailed = true;
        traceErrno = errno;
    }
    if (!result.error.empty()) {
        say(input.name + ": " + result.error);
        return exitBadInput;
    }
    if (server)
        *server = capture::text(result.server);
    if (in.stopped())
        say(input.name + ": stopped after record " + std::to_string(result.report.records) +
            ", as asked (Ctrl-C)");
    if (!in.error().empty())
        say("cannot read the capture " + input.name + " further: " + in.error());
    for (const std::string &line : capture::messagesOf(result))
        say(input.name + ": " + line);
    if (unwritten > 0)
        say(std::to_string(unwritten) +
            " events could not be written to the trace (a name holding byte 0x98), the first "
            "from record " +
            std::to_string(firstUnwritten));
    if (traceFailed) {
        say("cannot write the trace " + input.traceName + ": " + std::strerror(traceErrno));
        return exitCannotRun;
    }
    return exitRan;
}

} // namespace replay
