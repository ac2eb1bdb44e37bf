#include "server.h"

#include "handshake.h"
#include "reliability.h"

namespace capture {

namespace {

std::string listOf(const std::vector<Endpoint> &endpoints) {
    std::string s;
    for (const Endpoint &e : endpoints)
        s += (s.empty() ? "" : ", ") + text(e);
    return s;
}

} // namespace

void ServerFinder::observe(const Datagram &d, uint64_t record) {
    if (isHandshake(d.data, d.size)) {
        bool known = false;
        for (const auto &[server, first] : handshakes_)
            known = known || server == d.from;
        if (!known)
            handshakes_.emplace_back(d.from, record);
    }
    if (found_)
        return; // the flows only serve to find the server
    auto key = std::make_pair(d.from, d.to);
    auto it = flows_.find(key);
    if (it == flows_.end()) {
        if (flows_.size() >= 4096)
            return; // enough to decide from
        it = flows_.emplace(key, Flow{}).first;
    }
    Flow &f = it->second;
    f.datagrams++;
    // A sample of each flow is enough to tell the game's message blocks
    // from the client's scrambled datagrams; the server browser's queries
    // are neither.
    if (f.checked < sample && d.size > 3 && !isQuery(d.data, d.size)) {
        f.checked++;
        f.readable += readsAsDatagram(d.data, d.size) ? 1 : 0;
        newlySampled_ = newlySampled_ || f.checked == sample;
    }
}

bool ServerFinder::saw(const Endpoint &e) const {
    for (const auto &[key, flow] : flows_)
        if (key.first == e || key.second == e)
            return true;
    return false;
}

ServerFinder::Verdict ServerFinder::decide(bool atEnd, bool full, Report &report,
                                           std::string &error) {
    if (found_)
        return Verdict::Found;
    if (chosen_) {
        // Waited for until its first datagram, so that a capture without
        // it runs nothing; past what may be held, the rest is played.
        if (saw(*chosen_) || (full && !atEnd)) {
            found_ = true;
            server_ = *chosen_;
            return Verdict::Found;
        }
        if (!atEnd)
            return Verdict::Wait;
        error = "the capture holds no UDP traffic of " + text(*chosen_);
        return Verdict::Failed;
    }
    if (!handshakes_.empty()) {
        found_ = true;
        server_ = handshakes_.front().first;
        return Verdict::Found;
    }
    return fromMessageBlocks(atEnd, full, report, error);
}

// Without a handshake, the server is the side of a conversation whose
// datagrams read as the game's message blocks while the other side's do
// not. Decided early only once a conversation has shown a full sample each
// way and names one server; else at the end.
ServerFinder::Verdict ServerFinder::fromMessageBlocks(bool atEnd, bool full, Report &report,
                                                      std::string &error) {
    // Only a flow's sample completed can make an early decision: the flows
    // are looked over again then, not at every datagram.
    if (!atEnd && !full && !newlySampled_)
        return Verdict::Wait;
    newlySampled_ = false;
    auto mostlyReadable = [](const Flow *f) {
        return f && f->checked > 0 && f->readable * 10 >= f->checked * 9;
    };
    std::vector<Endpoint> candidates;
    bool sampled = false;
    for (const auto &[key, flow] : flows_) {
        auto back = flows_.find(std::make_pair(key.second, key.first));
        const Flow *reverse = back == flows_.end() ? nullptr : &back->second;
        sampled = sampled || (flow.checked >= sample && reverse && reverse->checked >= sample);
        bool server =
            mostlyReadable(&flow) &&
            (!mostlyReadable(reverse) || (key.first.port == 7777 && key.second.port != 7777));
        bool known = false;
        for (const Endpoint &e : candidates)
            known = known || e == key.first;
        if (server && !known)
            candidates.push_back(key.first);
    }
    if (candidates.size() == 1 && (sampled || atEnd || full)) {
        found_ = true;
        server_ = candidates.front();
        report.notes.push_back("the capture holds no connection handshake; the game server is "
                               "taken to be " +
                               text(server_) + " (use --server HOST:PORT to choose another)");
        return Verdict::Found;
    }
    if (!atEnd && !full)
        return Verdict::Wait;
    // Past what may be held, the capture is judged by its start.
    std::string where = atEnd ? "the capture" : "the capture's first records";
    if (candidates.empty())
        error = "found no game server's traffic in " + where +
                "; name the server with --server HOST:PORT";
    else
        error = (atEnd ? "the capture may hold" : "the capture's first records may hold") +
                std::string(" several game servers (") + listOf(candidates) +
                "); choose one with --server HOST:PORT";
    return Verdict::Failed;
}

void ServerFinder::noteOtherServers(Report &report) {
    for (; noted_ < handshakes_.size(); noted_++) {
        const auto &[other, first] = handshakes_[noted_];
        if (other == server_)
            continue;
        report.notes.push_back("a connection to another game server, " + text(other) +
                               ", begins at record " + std::to_string(first) +
                               ": its traffic is skipped (--server " + text(other) +
                               " would follow it instead)");
    }
}

} // namespace capture
