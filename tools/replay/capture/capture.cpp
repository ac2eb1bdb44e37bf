#include "capture.h"

#include "datagram_source.h"
#include "server.h"
#include "session.h"

namespace capture {

Result readCapture(std::FILE *in, const Options &options, const EventSink &sink) {
    Result result;
    if (options.frameMs < 1 || options.frameMs > 1000) {
        result.error = "the frame time must be 1 to 1000 ms";
        return result;
    }
    // First pass: which endpoint is the game server.
    Survey survey;
    {
        DatagramSource source(in);
        if (!source.start(result.error))
            return result;
        Record record;
        Datagram datagram;
        std::optional<Skip> why;
        Report scratch;
        for (;;) {
            DatagramSource::Step step = source.next(record, datagram, why, scratch);
            if (step == DatagramSource::Step::End)
                break;
            if (step == DatagramSource::Step::Datagram)
                observe(survey, datagram);
        }
    }
    std::optional<Endpoint> server = chooseServer(survey, options, result.error, result.report);
    if (!server)
        return result;
    result.server = *server;
    if (std::fseek(in, 0, SEEK_SET) != 0) {
        result.error = "the capture cannot be read a second time (it must be a file)";
        return result;
    }

    // Second pass: play it.
    DatagramSource source(in);
    if (!source.start(result.error))
        return result;
    Session session(options, sink, result.report, *server);
    Record record;
    Datagram datagram;
    std::optional<Skip> why;
    for (;;) {
        DatagramSource::Step step = source.next(record, datagram, why, result.report);
        if (step == DatagramSource::Step::End)
            break;
        session.record(record);
        if (step == DatagramSource::Step::Datagram) {
            session.datagram(datagram);
        } else if (why) {
            result.report.skip(*why, record.number);
            session.used(false);
        } else {
            session.used(true); // a fragment kept for later
        }
    }
    session.finish();
    return result;
}

std::vector<std::string> messagesOf(const Result &result) {
    std::vector<std::string> lines;
    const Report &r = result.report;
    for (const std::string &note : r.notes)
        lines.push_back(note);
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
