// The capture written again as pcapng, every record with its bytes and
// time, and a packet comment where the plugin acted: each warning (its
// chat line, the player and the records of its evidence), each evidence
// packet, and each change of the spectated player. Wireshark shows the
// comments as frame.comment. Comments the capture had already are kept,
// before the new ones.
//
// One pass, no seeking, so that it works on a live stream: records are held
// in a short window behind the run, and written once the run is well past
// them. A warning's evidence came shortly before it, so it is still held
// when the warning comes and gets its comments.
#pragma once

#include "capture/container.h"
#include "output.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace replay {

class Annotation : public Output {
  public:
    // Writes to `out` (opened for writing in binary), which finish()
    // closes. `application` names the writer in the file's header.
    Annotation(std::FILE *out, const std::string &application);
    ~Annotation() override;

    // Every record of the capture, in order, as it is read.
    void record(const capture::Record &r);

    void event(const Place &place) override;
    void effect(const host::Effect &effect, const Place &place) override;
    void spectate(std::optional<uint16_t> player, const std::string &name,
                  const Place &place) override;
    // Adds a comment to the record, if it is still held.
    void comment(uint64_t number, std::string text);

    // Writes what has left the window, and hands it to the system.
    void flush() override;
    // Writes everything held and closes the file.
    void finish(const RunEnd &end) override;

    // Whether a write failed, and the system's error number then.
    bool failed() const { return failed_; }
    int error() const { return error_; }
    // Comments that came for a record already written (the window was cut
    // short by its size limit): none in any capture seen so far.
    uint64_t lostComments() const { return lost_; }

    // The window: records stay until the run is this far (capture time)
    // past them; at most this many records and bytes, the oldest written
    // first past either.
    static constexpr uint64_t windowNs = 10'000'000'000;
    static constexpr size_t maxHeldRecords = 1 << 17;
    static constexpr size_t maxHeldBytes = 64u << 20;

  private:
    struct Held {
        uint64_t number;
        uint64_t timeNs;
        uint32_t interfaceId; // in the file written
        uint64_t units;
        uint32_t originalLength;
        std::string bytes;
        std::vector<std::string> comments;
    };
    Held *find(uint64_t number);
    // Writes the held records the run is past (all of them: `all`).
    void release(bool all);
    // Writes out what the buffer holds.
    void writeBuffer();

    std::FILE *out_;
    std::string buffer_;
    bool failed_ = false;
    int error_ = 0;
    std::deque<Held> held_;
    size_t heldBytes_ = 0;
    // The run has reached this record, stamped no earlier than playedNs_.
    uint64_t played_ = 0, playedNs_ = 0;
    // The interfaces written, by the input's (section, interface,
    // resolution); those of a section are forgotten when the next begins.
    std::map<std::tuple<uint32_t, uint32_t, uint8_t>, uint32_t> interfaces_;
    uint32_t section_ = 0, written_ = 0;
    std::optional<uint16_t> spectated_;
    uint64_t lost_ = 0;
};

} // namespace replay
