// The replay tool's trace reader on arbitrary text, read whole and read as
// a stream in small chunks.
// Invariants: a trace is either accepted whole (events, no error) or
// rejected at one line (an error, no events), never half of both; the bad
// line lies within the text; reading the same text twice gives the same
// answer; the stream, in two passes or in one, finds the same bad line, or
// hands over the same events with line numbers that only grow.
#include "fuzz_plugin.h"

#include "parallel.h"
#include "sync_fields.h"
#include "trace.h"
#include "trace_file.h"
#include "trace_writer.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// An event as its trace line, a sync event as the packet it is sent as:
// what a stream and the whole text must agree on.
std::string shapeOf(const replay::Event &event) {
    if (const auto *sync = std::get_if<replay::Sync>(&event)) {
        host::Packet p = host::encodeSync(replay::syncPacketOf(*sync));
        return shapeOf(replay::Packet{p.bytes, p.bitCount, host::playerSyncId});
    }
    return replay::traceLineOf(event).value_or("(no trace line)");
}

// Collects what a stream hands over.
struct Collected {
    std::vector<std::string> shapes;
    uint64_t lastLine = 0;
    replay::TraceFile::Play play() {
        return {[this](const replay::Event &e, uint64_t line) { take(shapeOf(e), line); },
                [this](const unsigned char *bytes, uint32_t bitCount, uint64_t line) {
                    std::vector<unsigned char> copy(bytes, bytes + (bitCount + 7) / 8);
                    take(shapeOf(replay::Packet{copy, bitCount, host::playerSyncId}), line);
                }};
    }
    void take(std::string shape, uint64_t line) {
        FUZZ_CHECK(line > lastLine);
        lastLine = line;
        shapes.push_back(std::move(shape));
    }
};

bool sameEvents(const Collected &c, const replay::ParsedTrace &whole) {
    if (c.shapes.size() != whole.events.size())
        return false;
    for (size_t i = 0; i < c.shapes.size(); i++)
        if (c.shapes[i] != shapeOf(whole.events[i]))
            return false;
    return true;
}

// The stream's answers for `text`, read from a file in chunks of 1 KB: in
// two passes, and in one that checks while it plays.
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
    } else {
        FUZZ_CHECK(trace.events() == whole.events.size());
        Collected twoPasses;
        FUZZ_CHECK(trace.play(twoPasses.play()));
        FUZZ_CHECK(sameEvents(twoPasses, whole));
    }

    replay::TraceFile once(1024);
    FUZZ_CHECK(once.open(path));
    Collected onePass;
    error = once.checkAndPlay(onePass.play());
    FUZZ_CHECK(once.readError().empty());
    FUZZ_CHECK(error.has_value() == whole.error.has_value());
    if (error) {
        FUZZ_CHECK(error->describe() == whole.error->describe());
        // Only lines before the bad one were played.
        FUZZ_CHECK(onePass.lastLine < error->line);
    } else {
        FUZZ_CHECK(sameEvents(onePass, whole));
    }
}

// The stream's answer for `text`, through a file removed again at once.
void checkStream(std::string_view text, const replay::ParsedTrace &whole) {
    static const std::string path = "/tmp/fuzz-trace-" + std::to_string(getpid()) + ".jsonl";
    readAsStream(path, text, whole);
    std::remove(path.c_str());
}

} // namespace

// The reader's tasks all run on the fuzzer's thread, in the order a single
// core runs them: a thread started for every 1 KB chunk would cost more
// than the reading, and the tasks' results do not depend on their threads.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    replay::setThreadLimit(1);
    return 0;
}

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
