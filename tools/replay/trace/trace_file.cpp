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
// LineReader::padding readable bytes. Two buffers take turns, so that the
// next chunk is read into one while the lines of the other are in use.
class Chunks {
  public:
    // `start`: bytes already taken from `in`, which come first.
    Chunks(std::FILE *in, std::FILE *copy, size_t size, const std::string &start)
        : in_(in), copy_(copy) {
        for (Buffer &b : buffers_)
            b.grow(std::max(size, start.size()) + LineReader::padding);
        Buffer &first = buffers_[current_];
        std::memcpy(first.bytes.get(), start.data(), start.size());
        first.filled = start.size();
        if (copy_ && !start.empty() &&
            std::fwrite(start.data(), 1, start.size(), copy_) != start.size()) {
            copyFailed_ = true;
            error_ = errno;
        }
    }

    // Reads the next chunk into the other buffer, starting with what
    // followed the current chunk's lines: it reads the current buffer only
    // past those lines, so it may run while they are read. False when
    // reading or copying failed.
    bool readNext() {
        if (copyFailed_)
            return false;
        const Buffer &from = buffers_[current_];
        Buffer &to = buffers_[1 - current_];
        size_t rest = from.filled - from.handedOut;
        if (to.size < from.size)
            to.grow(from.size);
        std::memcpy(to.bytes.get(), from.bytes.get() + from.handedOut, rest);
        to.filled = rest;
        while (true) {
            size_t room = to.size - LineReader::padding - to.filled;
            size_t got = ended_ ? 0 : std::fread(to.bytes.get() + to.filled, 1, room, in_);
            if (got < room && !ended_) {
                if (std::ferror(in_))
                    return failed();
                ended_ = true;
            }
            if (copy_ && got && std::fwrite(to.bytes.get() + to.filled, 1, got, copy_) != got)
                return failed();
            to.filled += got;
            std::string_view all(to.bytes.get(), to.filled);
            size_t lastEnd = all.rfind('\n');
            if (ended_ || lastEnd != std::string_view::npos) {
                to.handedOut = ended_ ? to.filled : lastEnd + 1;
                // Comment lines become blank ones, which the quick way of
                // reading a piece skips (the copy of standard input keeps
                // them as they were).
                LineReader::blankComments(to.bytes.get(), to.handedOut);
                // The padding is read, though never as part of a line.
                std::memset(to.bytes.get() + to.filled, ' ', LineReader::padding);
                return true;
            }
            // One line longer than the buffer: room for it.
            to.grow(to.size * 2);
        }
    }

    // Turns to the chunk readNext read: its lines (ending in '\n', or at
    // the end of the stream), empty at the end.
    std::string_view take() {
        current_ = 1 - current_;
        const Buffer &b = buffers_[current_];
        return std::string_view(b.bytes.get(), b.handedOut);
    }

    // Why readNext failed (it may run on another thread than the caller).
    std::string error() const { return std::strerror(error_); }

  private:
    bool failed() {
        error_ = errno;
        return false;
    }

    struct Buffer {
        // Left uninitialised until read into: a short trace touches only
        // the memory it needs, which matters where each fresh page is slow.
        std::unique_ptr<char[]> bytes;
        size_t size = 0;
        size_t filled = 0;    // bytes read into it
        size_t handedOut = 0; // of which whole lines

        // Makes room for `wanted` bytes, keeping those read.
        void grow(size_t wanted) {
            std::unique_ptr<char[]> more(new char[wanted]);
            if (filled)
                std::memcpy(more.get(), bytes.get(), filled);
            bytes = std::move(more);
            size = wanted;
        }
    };
    std::FILE *in_;
    std::FILE *copy_;
    bool copyFailed_ = false;
    Buffer buffers_[2];
    size_t current_ = 0;
    bool ended_ = false;
    int error_ = 0;
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

// One event of a piece, ready to run: a sync event as its packet, any
// other as an index into the piece's events.
struct Ready {
    uint64_t line; // within the piece
    bool isPacket;
    uint32_t bitCount; // a packet's
    size_t index;      // an event's
    unsigned char bytes[host::maxSyncBytes];
};

// What reading a piece found. Its vectors keep their memory from chunk to
// chunk, so that a usual event costs no allocation.
struct Piece {
    std::vector<Ready> ready;
    std::vector<Event> events;
    uint64_t lines = 0;              // line ends in the piece
    uint64_t count = 0;              // events
    uint64_t base = 0;               // lines before the piece
    std::optional<TraceError> error; // its line counted within the piece

    void clear() {
        ready.clear();
        events.clear();
        lines = count = 0;
        error.reset();
    }
};

// Takes a piece's events: counted only, or made ready to run.
class PieceTake final : public LineReader::Take {
  public:
    PieceTake(Piece &piece, bool keep) : piece_(piece), keep_(keep) {}
    void sync(const Sync &sync, uint64_t line) override {
        piece_.count++;
        if (!keep_)
            return;
        Ready &r = piece_.ready.emplace_back();
        r.line = line;
        r.isPacket = true;
        r.bitCount = host::encodeSync(syncPacketOf(sync), r.bytes);
    }
    void event(Event &event, uint64_t line) override {
        piece_.count++;
        if (!keep_)
            return;
        Ready &r = piece_.ready.emplace_back();
        r.line = line;
        r.isPacket = false;
        r.index = piece_.events.size();
        piece_.events.push_back(std::move(event));
    }

  private:
    Piece &piece_;
    bool keep_;
};

// Reads one piece (its comment lines blanked already): all at once when it
// can, else line by line, which finds the first bad line.
void readPiece(LineReader &reader, std::string_view text, Piece &piece, bool keep) {
    piece.clear();
    PieceTake take(piece, keep);
    if (reader.readLines(text, take, piece.lines))
        return;
    piece.clear();
    Event event;
    piece.lines = eachLine(text, [&](std::string_view line, uint64_t number) {
        if (std::optional<std::string> error = reader.read(line, event)) {
            piece.error = TraceError{number, std::move(*error)};
            return false;
        }
        if (const Sync *sync = std::get_if<Sync>(&event))
            take.sync(*sync, number);
        else
            take.event(event, number);
        return true;
    });
}

void playPiece(const Piece &piece, const TraceFile::Play &play) {
    for (const Ready &r : piece.ready) {
        if (r.isPacket)
            play.sync(r.bytes, r.bitCount, piece.base + r.line);
        else
            play.event(piece.events[r.index], piece.base + r.line);
    }
}

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
        stdin_ = true;
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
    // Standard input cannot be read twice: the check keeps a copy.
    if (stdin_ && !spool_) {
        spool_ = openTemporaryFile();
        if (!spool_) {
            readError_ = "cannot keep standard input in a temporary file: " + lastErrorText();
            return std::nullopt;
        }
    }
    return pass(file_, spool_, nullptr);
}

bool TraceFile::play(const Play &play) {
    std::FILE *in = spool_ ? spool_ : file_;
    if (std::fseek(in, 0, SEEK_SET) != 0) {
        readError_ = std::strerror(errno);
        return false;
    }
    events_ = 0;
    return !pass(in, nullptr, &play) && readError_.empty();
}

std::optional<TraceError> TraceFile::checkAndPlay(const Play &play) {
    return pass(file_, nullptr, &play);
}

std::optional<TraceError> TraceFile::pass(std::FILE *in, std::FILE *copy, const Play *play) {
    // What was read of standard input to tell a trace from a capture comes
    // first, in the first pass that reads it.
    Chunks chunks(in, copy, chunkSize_, in == stdin ? takeStandardInputStart() : std::string());
    size_t count = pieceCount();
    std::vector<std::unique_ptr<LineReader>> readers;
    for (size_t i = 0; i < count; i++)
        readers.push_back(std::make_unique<LineReader>());
    // The chunk being read and the one being played, at the same time.
    std::vector<Piece> reading(count), playing(count);
    size_t playingPieces = 0;
    uint64_t lineBase = 0;
    auto playPieces = [&] {
        for (size_t p = 0; p < playingPieces; p++)
            playPiece(playing[p], *play);
    };

    auto readFailed = [&] {
        readError_ = chunks.error();
        return std::nullopt;
    };
    if (!chunks.readNext())
        return readFailed();
    uint64_t bytesRead = 0;
    for (std::string_view lines = chunks.take(); !lines.empty(); lines = chunks.take()) {
        bytesRead += lines.size();
        if (progress)
            progress(bytesRead);
        std::vector<std::string_view> pieces = piecesOf(lines, count);
        // Task 0 plays the chunk read last, task 1 reads the next, and the
        // others read this one's pieces.
        bool readNext = false;
        parallelFor(pieces.size() + 2, [&](size_t task) {
            if (task == 0) {
                if (play)
                    playPieces();
            } else if (task == 1) {
                readNext = chunks.readNext();
            } else {
                readPiece(*readers[task - 2], pieces[task - 2], reading[task - 2], play != nullptr);
            }
        });
        for (size_t i = 0; i < pieces.size(); i++) {
            Piece &piece = reading[i];
            if (piece.error) {
                piece.error->line += lineBase;
                return piece.error;
            }
            piece.base = lineBase;
            lineBase += piece.lines;
            events_ += piece.count;
        }
        if (!readNext)
            return readFailed();
        std::swap(reading, playing);
        playingPieces = pieces.size();
    }
    if (play)
        playPieces();
    return std::nullopt;
}

} // namespace replay
