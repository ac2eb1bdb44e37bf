#include "capture_input.h"

#include "capture/container.h"
#include "platform.h"
#include "trace_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace replay {

bool isCaptureFile(const std::string &path) {
    unsigned char start[4];
    if (path == "-")
        return capture::looksLikeCapture(start, peekStandardInput(start, sizeof start));
    std::FILE *f = openFile(pathOf(path), "rb");
    if (!f)
        return false;
    size_t got = std::fread(start, 1, sizeof start, f);
    (void)std::fclose(f);
    return capture::looksLikeCapture(start, got);
}

ExitStatus playCapture(const CaptureInput &input,
                       const std::function<void(const Event &, uint64_t)> &run,
                       std::vector<std::string> &messages) {
    auto say = [&messages](const std::string &line) {
        messages.push_back("norvi-replay: " + line);
    };
    // The reason is the C library's words, as natively: errno is set by
    // the wide open on Windows too.
    bool fromStdin = input.path == "-";
    std::FILE *in = fromStdin ? stdin : openFile(input.path, "rb");
    if (!in) {
        say("cannot read the capture " + input.name + ": " + std::strerror(errno));
        return exitBadInput;
    }
    std::FILE *trace = nullptr;
    if (input.traceOut) {
        trace = *input.traceOut == "-" ? stdout : openFile(*input.traceOut, "wb");
        if (!trace) {
            say("cannot write the trace " + input.traceName + ": " + std::strerror(errno));
            if (!fromStdin)
                (void)std::fclose(in);
            return exitCannotRun;
        }
    }
    uint64_t unwritten = 0, firstUnwritten = 0;
    bool traceFailed = false;
    capture::Result result =
        capture::readCapture(in, input.options, [&](const Event &event, uint64_t record) {
            if (trace) {
                if (std::optional<std::string> line = traceLineOf(event)) {
                    line->push_back('\n');
                    traceFailed |=
                        std::fwrite(line->data(), 1, line->size(), trace) != line->size();
                } else if (unwritten++ == 0) {
                    firstUnwritten = record;
                }
            }
            run(event, record);
        });
    if (!fromStdin)
        (void)std::fclose(in);
    int traceErrno = traceFailed ? errno : 0;
    if (trace && trace != stdout && std::fclose(trace) != 0 && !traceFailed) {
        traceFailed = true;
        traceErrno = errno;
    }
    if (!result.error.empty()) {
        say(input.name + ": " + result.error);
        return exitBadInput;
    }
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
