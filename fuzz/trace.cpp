// The replay tool's trace reader on arbitrary text, read whole and read as
// a stream in small chunks.
// Invariants: a trace is either accepted whole (events, no error) or
// rejected at one line (an error, no events), never half of both; the bad
// line lies within the text; reading the same text twice gives the same
// answer; the stream finds the same bad line, or hands over as many events
// with line numbers that only grow.
#include "fuzz_plugin.h"

#include "trace.h"
#include "trace_file.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// The stream's answer for `text`, read from a file in chunks of 1 KB.
void readAsStream(const std::string &path, std::string_view text,
                  const replay::ParsedTrace &whole) {
    std::FILE *out = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), out) == text.size());
    FUZZ_CHECK(std::fclose(out) == 0);

    replay::TraceFile trace(1024);
    FUZZ_CHECK(trace.open(path));
    std::optional<replay::TraceError> error = trace.check();
    FUZZ_CHECK(trace.readError().empty());
    FUZZ_CHECK(error.has_value() == whole.error.has_value());
    if (error) {
        FUZZ_CHECK(error->describe() == whole.error->describe());
        return;
    }
    FUZZ_CHECK(trace.events() == whole.events.size());
    size_t events = 0;
    uint64_t lastLine = 0;
    FUZZ_CHECK(trace.play([&](const replay::Event &, uint64_t line) {
        FUZZ_CHECK(line > lastLine);
        lastLine = line;
        events++;
    }));
    FUZZ_CHECK(events == whole.events.size());
}

// The stream's answer for `text`, through a file removed again at once.
void checkStream(std::string_view text, const replay::ParsedTrace &whole) {
    static const std::string path = "/tmp/fuzz-trace-" + std::to_string(getpid()) + ".jsonl";
    readAsStream(path, text, whole);
    std::remove(path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    replay::ParsedTrace first = replay::parseTrace(text);
    if (first.error) {
        FUZZ_CHECK(first.events.empty());
        size_t lines = 1;
        for (char c : text)
            lines += c == '\n';
        FUZZ_CHECK(first.error->line >= 1 && first.error->line <= lines);
        FUZZ_CHECK(!first.error->message.empty());
    }
    replay::ParsedTrace again = replay::parseTrace(text);
    FUZZ_CHECK(again.events.size() == first.events.size());
    FUZZ_CHECK(again.error.has_value() == first.error.has_value());
    if (first.error)
        FUZZ_CHECK(again.error->describe() == first.error->describe());
    checkStream(text, first);
    return 0;
}
