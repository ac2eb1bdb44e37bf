// Reading a trace line: simdjson's parser reads the line; the usual line, a
// sync event, is read straight from its parse (quick_sync.cpp), any other
// walked into a small tree (json_tree.h) whose numbers keep the text they
// were written with, so that floats are rounded once from what the trace
// says, and then checked against the event it names (event_reader.cpp).
#include "trace.h"

#include "reading.h"
#include "syntax_error.h"

#include <algorithm>
#include <cstring>
#include <memory_resource>

namespace replay {

static_assert(LineReader::padding >= simdjson::SIMDJSON_PADDING);

using namespace reading;

std::string TraceError::describe() const { return std::to_string(line) + ": " + message; }

uint64_t countLineEnds(std::string_view text) {
    uint64_t count = 0;
    const char *at = text.data(), *end = text.data() + text.size();
    while ((at = static_cast<const char *>(std::memchr(at, '\n', static_cast<size_t>(end - at))))) {
        count++;
        at++;
    }
    return count;
}

struct LineReader::Parser {
    simdjson::dom::parser dom;
    simdjson::dom::parser many; // a piece's lines at once
    simdjson::ondemand::parser slow;
};

// The most a piece read at once may hold in one batch of the parser, which
// keeps memory for about 13 bytes of work per byte: a longer line is read
// on its own.
const size_t batchSize = 128 << 10;

LineReader::LineReader() : parser_(std::make_unique<Parser>()) {
#ifdef SIMDJSON_THREADS_ENABLED
    // The tool reads pieces on every core already.
    parser_->many.threaded = false;
#endif
}

namespace {

// Blanks are spaces, tabs and CRs (a stray CR is JSON's blank too, and the
// reader that takes a piece at once passes over it like one).
const char blanks[] = " \t\r";

} // namespace

void LineReader::blankComments(char *lines, size_t size) {
    // Found by their '#', which is rare: a comment's, or one inside a line.
    size_t at = 0;
    while (at < size) {
        auto *hash = static_cast<char *>(std::memchr(lines + at, '#', size - at));
        if (!hash)
            return;
        size_t first = static_cast<size_t>(hash - lines);
        size_t start = first;
        while (start > 0 && std::memchr(blanks, lines[start - 1], sizeof blanks - 1))
            start--;
        auto *end = static_cast<char *>(std::memchr(hash, '\n', size - first));
        size_t stop = end ? static_cast<size_t>(end - lines) : size;
        // Only blanks before it on its line: a comment line.
        if (start == 0 || lines[start - 1] == '\n')
            std::memset(lines + first, ' ', stop - first);
        at = stop;
    }
}

bool LineReader::readLines(std::string_view piece, Take &take, uint64_t &lineEnds) {
    simdjson::dom::document_stream stream;
    // A short piece needs no more room than itself (the parser keeps what
    // it allocated for the next piece, and only grows it).
    size_t batch = std::min(batchSize, piece.size());
    if (parser_->many.parse_many(piece.data(), piece.size(), batch).get(stream))
        return false;
    uint64_t line = 1;
    size_t counted = 0; // line ends are counted up to here
    Event event;
    for (auto it = stream.begin(); it != stream.end(); ++it) {
        simdjson::dom::element document;
        if ((*it).get(document) != simdjson::SUCCESS)
            return false;
        // One event a line: a document alone on its line, never across two.
        size_t start = it.current_index();
        std::string_view text = it.source();
        if (text.empty() || (text[0] != '{' && text[0] != '[') ||
            text.find('\n') != std::string_view::npos)
            return false;
        uint64_t newlines = countLineEnds(piece.substr(counted, start - counted));
        if (newlines == 0 && counted != 0)
            return false;
        line += newlines;
        counted = start + text.size();
        // After a document, the rest of its line is blank.
        size_t lineEnd = piece.find('\n', counted);
        std::string_view rest =
            piece.substr(counted, lineEnd == std::string_view::npos ? lineEnd : lineEnd - counted);
        if (rest.find_first_not_of(blanks) != std::string_view::npos)
            return false;
        Sync sync;
        if (quickSyncLine(document, sync)) {
            take.sync(sync, line);
            continue;
        }
        std::byte space[4096];
        std::pmr::monotonic_buffer_resource arena(space, sizeof space);
        Value root(&arena);
        try {
            NumberTexts numbers(text);
            walk(document, root, 0, numbers);
            event = eventOf(root);
        } catch (const Bad &) {
            return false;
        } catch (const NotJson &) {
            return false;
        }
        if (const Sync *general = std::get_if<Sync>(&event))
            take.sync(*general, line);
        else
            take.event(event, line);
    }
    if (stream.truncated_bytes() != 0)
        return false;
    // The line ends before each document are counted; those after the last
    // one are added.
    lineEnds = line - 1 + countLineEnds(piece.substr(counted));
    return true;
}
LineReader::~LineReader() = default;

bool LineReader::skipped(std::string_view line) {
    size_t first = line.find_first_not_of(blanks);
    return first == std::string_view::npos || line[first] == '#';
}

std::optional<std::string> LineReader::read(std::string_view line, Event &event) {
    // The line's tree lives in an arena on the stack: no allocation for a
    // usual line.
    std::byte space[4096];
    std::pmr::monotonic_buffer_resource arena(space, sizeof space);
    Value root(&arena);
    try {
        simdjson::dom::element document;
        simdjson::error_code error =
            parser_->dom.parse(line.data(), line.size(), false).get(document);
        try {
            if (error == simdjson::SUCCESS) {
                NumberTexts numbers(line);
                walk(document, root, 0, numbers);
            } else if (error == simdjson::NUMBER_ERROR && !syntaxErrorOf(line)) {
                simdjson::ondemand::document slow;
                check(parser_->slow
                          .iterate(simdjson::padded_string_view(line.data(), line.size(),
                                                                line.size() + padding))
                          .get(slow));
                walkDocumentSlowly(slow, root);
            } else {
                throw NotJson{};
            }
        } catch (const NotJson &) {
            return syntaxErrorOf(line).value_or("not JSON");
        }
        event = eventOf(root);
        return std::nullopt;
    } catch (const Bad &bad) {
        return bad.message;
    }
}

ParsedTrace parseTrace(std::string_view text) {
    // A copy with room after its end, which the reader needs.
    std::string padded(text);
    padded.append(LineReader::padding, ' ');
    text = std::string_view(padded.data(), text.size());

    LineReader reader;
    ParsedTrace trace;
    size_t lineNumber = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        lineNumber++;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (LineReader::skipped(line))
            continue;
        Event event;
        if (std::optional<std::string> error = reader.read(line, event)) {
            trace.events.clear();
            trace.error = TraceError{lineNumber, std::move(*error)};
            return trace;
        }
        trace.events.push_back(std::move(event));
    }
    return trace;
}

} // namespace replay
