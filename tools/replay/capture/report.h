// What a capture reader left out, and why: counts and the first record of
// each kind, so that a user can look at that record in Wireshark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

enum class Skip {
    // Whole records (each record is used or skipped under one of these).
    LinkType,     // a link layer the reader does not know
    NotIPv4,      // IPv6, ARP and other network protocols
    NotUdp,       // TCP, ICMP and other IPv4 protocols
    BadHeader,    // a link, IPv4 or UDP header that does not hold together
    SnapCut,      // the capture kept less of the packet than was sent
    OtherTraffic, // UDP that is not to or from the game server
    OtherClient,  // the server's datagrams to another client
    // Datagrams, out of records that were used.
    Fragments,  // IPv4 fragments whose datagram never became whole
    Unreadable, // a server datagram that is no message block of the game
    // Messages, out of datagrams that were read.
    CutShort,     // a message that runs past its datagram's end
    Duplicate,    // a resent copy of a message already received
    OldSequenced, // a sequenced message older than one delivered
    OldOrdered,   // an ordered message before the channel's next one
    SplitBad,     // a split part that does not fit its message
    SplitDropped, // a split message given up unfinished
    HeldAtEnd,    // ordered messages still waiting for a gap at the end
    HeldOverflow, // ordered messages beyond what may be held
    BadRpc,       // an RPC whose parameters run past the message's end
    Count
};

enum class Level { Record, Datagram, Message };

Level levelOf(Skip kind);
// A count with its thousands set apart, as people write it: "2,314".
std::string countText(uint64_t n);
// A few words, e.g. "resent duplicates".
const char *describe(Skip kind);

struct Tally {
    uint64_t count = 0;
    uint64_t firstRecord = 0;
};

struct Report {
    uint64_t records = 0;     // packet records read whole
    uint64_t usedRecords = 0; // records whose datagram (or fragment) was taken
    Tally skipped[static_cast<int>(Skip::Count)];
    // A last record that the file ends in the middle of (a capture killed
    // mid-write): its number and how many of its bytes are there.
    bool truncated = false;
    uint64_t truncatedRecord = 0;
    uint64_t truncatedBytes = 0;
    // Why the rest of the file could not be read (a broken block); empty
    // when it was read to its end.
    std::string unreadableRest;
    // Lines worth telling the user (the counters were unknown, a clock jump).
    std::vector<std::string> notes;
    // Records dropped from the window held while the game was looked for.
    uint64_t notKept = 0;

    void skip(Skip kind, uint64_t record, uint64_t count = 1);
    const Tally &tally(Skip kind) const { return skipped[static_cast<int>(kind)]; }
    uint64_t skippedRecords() const;
    // One line: "skipped: 3 datagrams (2 not UDP, first record 4; ...)", or
    // "" when nothing was skipped.
    std::string summary() const;
};

} // namespace capture
