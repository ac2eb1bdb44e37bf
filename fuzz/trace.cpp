// The replay tool's trace reader on arbitrary text.
// Invariants: a trace is either accepted whole (events, no error) or
// rejected at one line (an error, no events), never half of both; the bad
// line lies within the text; reading the same text twice gives the same
// answer.
#include "fuzz_plugin.h"

#include "trace.h"

#include <string_view>

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
    return 0;
}
