#include "report.h"

namespace capture {

Level levelOf(Skip kind) {
    if (kind < Skip::Fragments)
        return Level::Record;
    if (kind < Skip::CutShort)
        return Level::Datagram;
    return Level::Message;
}

std::string countText(uint64_t n) {
    std::string digits = std::to_string(n), s;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            s += ',';
        s += digits[i];
    }
    return s;
}

const char *describe(Skip kind) {
    switch (kind) {
    case Skip::LinkType:
        return "unknown link layer";
    case Skip::NotIPv4:
        return "not IPv4";
    case Skip::NotUdp:
        return "not UDP";
    case Skip::BadHeader:
        return "bad header";
    case Skip::SnapCut:
        return "cut short by the capture";
    case Skip::OtherTraffic:
        return "not the game server's";
    case Skip::OtherClient:
        return "to another client";
    case Skip::Fragments:
        return "IPv4 fragments never completed";
    case Skip::Unreadable:
        return "unreadable";
    case Skip::CutShort:
        return "running past the datagram";
    case Skip::Duplicate:
        return "resent duplicates";
    case Skip::OldSequenced:
        return "older sequenced";
    case Skip::OldOrdered:
        return "ordered, already past";
    case Skip::SplitBad:
        return "split parts that do not fit";
    case Skip::SplitDropped:
        return "split messages never completed";
    case Skip::HeldAtEnd:
        return "ordered, still waiting at the end";
    case Skip::HeldOverflow:
        return "ordered, beyond the holding limit";
    case Skip::BadRpc:
        return "RPCs cut short";
    case Skip::Count:
        break;
    }
    return "?";
}

void Report::skip(Skip kind, uint64_t record, uint64_t count) {
    Tally &t = skipped[static_cast<int>(kind)];
    if (t.count == 0 || record < t.firstRecord)
        t.firstRecord = record;
    t.count += count;
}

uint64_t Report::skippedRecords() const {
    uint64_t n = 0;
    for (int i = 0; i < static_cast<int>(Skip::Count); i++)
        if (levelOf(static_cast<Skip>(i)) == Level::Record)
            n += skipped[i].count;
    return n;
}

std::string Report::summary() const {
    static const char *const levelNames[] = {"record", "datagram", "message"};
    std::string line;
    for (int level = 0; level < 3; level++) {
        uint64_t total = 0;
        std::string parts;
        for (int i = 0; i < static_cast<int>(Skip::Count); i++) {
            const Tally &t = skipped[i];
            if (t.count == 0 || static_cast<int>(levelOf(static_cast<Skip>(i))) != level)
                continue;
            total += t.count;
            if (!parts.empty())
                parts += "; ";
            parts += std::to_string(t.count) + " " + describe(static_cast<Skip>(i)) +
                     ", first record " + std::to_string(t.firstRecord);
        }
        if (total == 0)
            continue;
        line += line.empty() ? "skipped " : ", ";
        line += std::to_string(total) + " " + levelNames[level] + (total == 1 ? "" : "s") + " (" +
                parts + ")";
    }
    return line;
}

} // namespace capture
