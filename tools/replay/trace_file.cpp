#include "trace_file.h"

#include "parallel.h"
#include "platform.h"
#include "sync_fields.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace replay {

namespace {

// Reads a stream in chunks of whole lines, each followed by at least
// LineReader::padding readable bytes.
class Chunks {
  public:
    Chunks(std::FILE *in, std::FILE *copy, size_t size) : in_(in), copy_(copy) {
        buffer_.resize(size + LineReader::padding);
    }

    // The next lines (ending in '\n', or at the end of the stream); empty at
    // the end. False when reading or copying failed.
    bool next(std::string_view &lines) {
        // What follows the lines handed out last moves to the front.
        std::memmove(buffer_.data(), buffer_.data() + handedOut_, filled_ - handedOut_);
        filled_ -= handedOut_;
        handedOut_ = 0;
        while (true) {
            size_t room = buffer_.size() - LineReader::padding - filled_;
            size_t got = ended_ ? 0 : std::fread(buffer_.data() + filled_, 1, room, in_);
            if (got < room && !ended_) {
                if (std::ferror(in_))
                    return false;
                ended_ = true;
            }
            if (copy_ && got && std::fwrite(buffer_.data() + filled_, 1, got, copy_) != got)
                return false;
            filled_ += got;
            std::string_view all(buffer_.data(), filled_);
            size_t lastEnd = all.rfind('\n');
            if (ended_ || lastEnd != std::string_view::npos) {
                handedOut_ = ended_ ? filled_ : lastEnd + 1;
                // Comment lines become blank ones, which the quick way of
                // reading a piece skips (the copy of standard input keeps
                // them as they were).
                LineReader::blankComments(buffer_.data(), handedOut_);
                lines = all.substr(0, handedOut_);
                return true;
            }
            // One line longer than the buffer: room for it.
            buffer_.resize(buffer_.size() * 2);
        }
    }

  private:
    std::FILE *in_;
    std::FILE *copy_;
    std::vector<char> buffer_;
    size_t filled_ = 0;
    size_t handedOut_ = 0;
    bool ended_ = false;
};

// A chunk cut at line ends into about `count` pieces.
std::vector<std::string_view> piecesOf(std::string_view lines, size_t count) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t k = 1; k <= count && start < lines.size(); k++) {
        size_t end = lines.size();
        if (k < count) {
            end = lines.find('\n', std::max(start, lines.size() * k / count));
            end = end == std::string_view::npos ? lines.size() : end + 1;
        }
        pieces.push_back(lines.substr(start, end - start));
        start = end;
    }
    return pieces;
}

// Calls `line(text, number)` for each line of `piece` that is not skipped,
// its number counted from 1 within the piece, until it returns false.
// Returns the number of line ends in the piece.
template <typename F> uint64_t eachLine(std::string_view piece, F &&line) {
    uint64_t number = 0;
    while (!piece.empty()) {
        size_t end = piece.find('\n');
        std::string_view text = piece.substr(0, end);
        piece = end == std::string_view::npos ? std::string_view() : piece.substr(end + 1);
        number++;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (LineReader::skipped(text))
            continue;
        if (!line(text, number))
            break;
    }
    return number;
}

uint64_t lineEnds(std::string_view piece) {
    return static_cast<uint64_t>(std::count(piece.begin(), piece.end(), '\n'));
}

// Reads a whole piece at once (its comment lines blanked already). False
// when it must be read line by line.
bool readAtOnce(LineReader &reader, std::string_view piece,
                const std::function<void(Event &, uint64_t)> &take) {
    return reader.readLines(piece, take);
}

// A piece's lines as events, each with its line within the piece.
struct Item {
    Event event;
    uint64_t line;
};
struct Piece {
    std::vector<Item> items;
    uint64_t lines = 0; // line ends in the piece
};

// Pieces per chunk: several per core, so that a core that finishes early
// takes over work.
size_t pieceCount() { return size_t{4} * workerCount(); }

} // namespace

TraceFile::~TraceFile() {
    if (ownsFile_ && file_)
        (void)std::fclose(file_);
    if (spool_)
        (void)std::fclose(spool_);
}

bool TraceFile::open(const std::string &path) {
    if (path == "-") {
        file_ = stdin;
        spool_ = openTemporaryFile();
        if (!spool_) {
            readError_ = "cannot keep standard input in a temporary file: " + lastErrorText();
            return false;
        }
        return true;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(pathOf(path), ignored)) {
        readError_ = std::strerror(EISDIR);
        return false;
    }
    file_ = openFile(pathOf(path), "rb");
    if (!file_) {
        readError_ = lastErrorText();
        return false;
    }
    ownsFile_ = true;
    return true;
}

std::optional<TraceError> TraceFile::check() {
    Chunks chunks(file_, spool_, chunkSize_);
    size_t count = pieceCount();
    std::vector<std::unique_ptr<LineReader>> readers;
    for (size_t i = 0; i < count; i++)
        readers.push_back(std::make_unique<LineReader>());
    struct Checked {
        uint64_t lines = 0, events = 0;
        std::optional<TraceError> error; // its line counted within the piece
    };
    std::vector<Checked> checked(count);

    uint64_t lineBase = 0;
    std::string_view lines;
    while (true) {
        if (!chunks.next(lines)) {
            readError_ = std::strerror(errno);
            return std::nullopt;
        }
        if (lines.empty())
            return std::nullopt;
        std::vector<std::string_view> pieces = piecesOf(lines, count);
        parallelFor(pieces.size(), [&](size_t i) {
            Checked &c = checked[i];
            c = Checked{};
            if (readAtOnce(*readers[i], pieces[i], [&](Event &, uint64_t) { c.events++; })) {
                c.lines = lineEnds(pieces[i]);
                return;
            }
            c.events = 0;
            Event event;
            c.lines = eachLine(pieces[i], [&](std::string_view text, uint64_t number) {
                if (std::optional<std::string> error = readers[i]->read(text, event)) {
                    c.error = TraceError{number, std::move(*error)};
                    return false;
                }
                c.events++;
                return true;
            });
        });
        for (size_t i = 0; i < pieces.size(); i++) {
            if (checked[i].error) {
                checked[i].error->line += lineBase;
                return checked[i].error;
            }
            lineBase += checked[i].lines;
            events_ += checked[i].events;
        }
    }
}

bool TraceFile::play(const std::function<void(const Event &, uint64_t line)> &run) {
    std::FILE *in = spool_ ? spool_ : file_;
    if (std::fseek(in, 0, SEEK_SET) != 0) {
        readError_ = std::strerror(errno);
        return false;
    }
    Chunks chunks(in, nullptr, chunkSize_);
    size_t count = pieceCount();
    std::vector<std::unique_ptr<LineReader>> readers;
    for (size_t i = 0; i < count; i++)
        readers.push_back(std::make_unique<LineReader>());
    // The chunk being read and the one being run, at the same time.
    std::vector<Piece> reading(count), running(count);
    size_t runningPieces = 0;
    uint64_t lineBase = 0;

    auto runPieces = [&] {
        for (size_t p = 0; p < runningPieces; p++) {
            for (const Item &item : running[p].items)
                run(item.event, lineBase + item.line);
            lineBase += running[p].lines;
        }
    };

    std::string_view lines;
    while (true) {
        if (!chunks.next(lines)) {
            readError_ = std::strerror(errno);
            return false;
        }
        if (lines.empty())
            break;
        std::vector<std::string_view> pieces = piecesOf(lines, count);
        // Task 0 runs the chunk read last; the others read this one.
        parallelFor(pieces.size() + 1, [&](size_t task) {
            if (task == 0)
                return runPieces();
            size_t i = task - 1;
            Piece &piece = reading[i];
            piece.items.clear();
            auto add = [&](Event &event, uint64_t number) {
                Item &item = piece.items.emplace_back();
                item.line = number;
                if (const Sync *sync = std::get_if<Sync>(&event)) {
                    host::Packet packet = host::encodeSync(syncPacketOf(*sync));
                    item.event =
                        Packet{std::move(packet.bytes), packet.bitCount, host::playerSyncId};
                } else {
                    item.event = std::move(event);
                }
            };
            if (readAtOnce(*readers[i], pieces[i], add)) {
                piece.lines = lineEnds(pieces[i]);
                return;
            }
            piece.items.clear();
            piece.lines = eachLine(pieces[i], [&](std::string_view text, uint64_t number) {
                Event event;
                // The check passed: every line reads.
                (void)readers[i]->read(text, event);
                add(event, number);
                return true;
            });
        });
        std::swap(reading, running);
        runningPieces = pieces.size();
    }
    runPieces();
    return true;
}

} // namespace replay
