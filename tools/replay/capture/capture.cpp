#include "capture.h"

#include "datagram_source.h"
#include "server.h"
#include "session.h"

#include <deque>
#include <vector>

namespace capture {

namespace {

// A record read before the server was known, kept to be played once it is.
struct HeldRecord {
    Record record; // its data is not kept
    DatagramSource::Step step;
    std::optional<Skip> why;
    Endpoint from, to;
    std::vector<unsigned char> bytes;
};

void play(Session &session, const Record &record, DatagramSource::Step step,
          const Datagram &datagram, const std::optional<Skip> &why, Report &report) {
    session.record(record);
    if (step == DatagramSource::Step::Datagram) {
        session.datagram(datagram);
    } else if (why) {
        report.skip(*why, record.number);
        session.used(false);
    } else {
        session.used(true); // a fragment kept for later
    }
}

void playHeld(Session &session, std::deque<HeldRecord> &held, Report &report) {
    for (const HeldRecord &h : held) {
        Datagram d{h.from, h.to, h.bytes.data(), h.bytes.size()};
        play(session, h.record, h.step, d, h.why, report);
    }
    held.clear();
}

// Told once while the game is still awaited.
std::string waitingLine(uint64_t waitedNs, const ServerFinder &finder) {
    return "no game server's traffic in the first " + std::to_string(waitedNs / 1000000000u) +
           " s of the capture: " + finder.seen() +
           ". Still waiting for it (a capture filter on the server's port, or --server "
           "HOST:PORT, leaves other traffic out)";
}

} // namespace

Result readCapture(std::FILE *in, const Options &options, const EventSink &sink) {
    FileSource file(in);
    return readCapture(file, options, sink);
}

Result readCapture(ByteSource &in, const Options &options, const EventSink &sink) {
    Result result;
    if (options.frameMs < 1 || options.frameMs > 1000) {
        result.error = "the frame time must be 1 to 1000 ms";
        return result;
    }
    DatagramSource source(in, options.everyRecord);
    if (!source.start(result.error))
        return result;

    // One pass: a window of the latest records is held until the server
    // is known, then played in order, and every record after them as it
    // comes.
    ServerFinder finder(options.server);
    std::optional<Session> session;
    std::deque<HeldRecord> held;
    size_t heldBytes = 0;
    std::optional<uint64_t> firstNs; // the capture's clock at its first stamped record
    bool toldWaiting = false;
    Record record;
    Datagram datagram;
    std::optional<Skip> why;
    for (;;) {
        DatagramSource::Step step = source.next(record, datagram, why, result.report);
        bool atEnd = step == DatagramSource::Step::End;
        if (!atEnd && step == DatagramSource::Step::Datagram)
            finder.observe(datagram, record.number);
        if (!session) {
            if (!atEnd) {
                HeldRecord h{record, step, why, datagram.from, datagram.to, {}};
                h.record.data = nullptr;
                if (step == DatagramSource::Step::Datagram)
                    h.bytes.assign(datagram.data, datagram.data + datagram.size);
                heldBytes += h.bytes.size();
                held.push_back(std::move(h));
                while (held.size() > maxHeldRecords || heldBytes > maxHeldBytes) {
                    heldBytes -= held.front().bytes.size();
                    held.pop_front();
                    result.report.notKept++;
                }
                if (record.hasTime && !firstNs)
                    firstNs = record.timeNs;
                // Measured from the first stamp, which a stamp near the end
                // of the clock's range would make overflow if added to.
                if (!toldWaiting && firstNs && record.hasTime && record.timeNs >= *firstNs &&
                    record.timeNs - *firstNs >= options.waitingNs) {
                    toldWaiting = true;
                    if (options.onWaiting)
                        options.onWaiting(waitingLine(options.waitingNs, finder));
                }
            }
            ServerFinder::Verdict verdict = finder.decide(atEnd, result.report, result.error);
            if (verdict == ServerFinder::Verdict::Failed)
                return result;
            if (verdict == ServerFinder::Verdict::Wait)
                continue;
            result.server = finder.server();
            session.emplace(options, sink, result.report, result.server);
            playHeld(*session, held, result.report);
            heldBytes = 0;
        } else if (!atEnd) {
            play(*session, record, step, datagram, why, result.report);
        }
        if (atEnd)
            break;
    }
    finder.noteOtherServers(result.report);
    session->finish();
    return result;
}

std::vector<std::string> messagesOf(const Result &result) {
    std::vector<std::string> lines;
    const Report &r = result.report;
    for (const std::string &note : r.notes)
        lines.push_back(note);
    if (r.notKept > 0)
        lines.push_back(countText(r.notKept) + (r.notKept == 1 ? " record" : " records") +
                        " before the game's connection " + (r.notKept == 1 ? "was" : "were") +
                        " not kept (the latest " + countText(maxHeldRecords) +
                        " are held while the game is looked for)");
    if (r.truncated)
        lines.push_back("the capture ends inside record " + std::to_string(r.truncatedRecord) +
                        " (" + std::to_string(r.truncatedBytes) +
                        " bytes of it are there): it is left out");
    if (!r.unreadableRest.empty())
        lines.push_back("the rest of the capture cannot be read: " + r.unreadableRest);
    std::string skipped = r.summary();
    if (!skipped.empty())
        lines.push_back(skipped);
    return lines;
}

} // namespace capture
