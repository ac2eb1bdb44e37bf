#include "server.h"

#include "handshake.h"
#include "reliability.h"

#include <algorithm>
#include <tuple>

namespace capture {

namespace {

std::string listOf(const std::vector<Endpoint> &endpoints) {
    std::string s;
    for (const Endpoint &e : endpoints)
        s += (s.empty() ? "" : ", ") + text(e);
    return s;
}

// More servers than this handshaking in one capture are not told of.
const size_t maxHandshakes = 64;

} // namespace

ServerFinder::Flow &ServerFinder::flowOf(const Key &key) {
    // Mostly the same flow as the datagram before: the game's.
    if (last_ != flows_.end() && last_->first == key)
        return last_->second;
    last_ = flows_.find(key);
    if (last_ != flows_.end())
        return last_->second;
    if (flows_.size() >= maxFlows)
        makeRoom();
    flowsSeen_++;
    last_ = flows_.emplace(key, Flow{}).first;
    return last_->second;
}

// Half the table goes, the flows least likely to be the game's first: a
// handshake under way and the found server's flows stay longest, then
// conversations (both ways) over one-way flows, then what reads as the
// game's, then the busiest, then the latest. A flood of one-datagram flows
// thus never pushes out a conversation, nor a request just made.
void ServerFinder::makeRoom() {
    using Rank = std::tuple<bool, bool, bool, uint64_t, uint64_t>;
    std::vector<std::pair<Rank, std::map<Key, Flow>::iterator>> ranked;
    ranked.reserve(flows_.size());
    for (auto it = flows_.begin(); it != flows_.end(); ++it) {
        const auto &[key, flow] = *it;
        bool kept = flow.handshaking || (found_ && (key.first == server_ || key.second == server_));
        bool twoWay = flows_.count(Key{key.second, key.first}) != 0;
        ranked.push_back({Rank{kept, twoWay, isGame(flow), flow.datagrams, flow.last}, it});
    }
    auto middle = ranked.begin() + static_cast<std::ptrdiff_t>(ranked.size() / 2);
    std::nth_element(ranked.begin(), middle, ranked.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto it = ranked.begin(); it != middle; ++it)
        flows_.erase(it->second);
    last_ = flows_.end();
}

// The server's side of the handshake: a cookie request or its key, then
// the connection reply. The reply completes the exchange only if the
// client had asked first: a datagram that merely looks like one proves
// nothing.
void ServerFinder::handshakeStep(const Datagram &d, Flow &flow) {
    if (isCookieRequest(d.data, d.size)) {
        flow.handshaking = true;
        return;
    }
    if (isKeyDatagram(d.data, d.size)) {
        flow.handshaking = true;
        flow.key = std::array<unsigned char, 4>{d.data[5], d.data[6], d.data[7], d.data[8]};
        return;
    }
    bool reply = isConnectionReply(d.data, d.size) ||
                 (flow.key && isScrambledReply(d.data, d.size, *flow.key));
    if (!reply)
        return;
    auto back = flows_.find(Key{d.to, d.from});
    if (back == flows_.end() || back->second.request == 0)
        return;
    flow.handshaking = false;
    flow.key.reset();
    bool known = false;
    for (const auto &[server, first] : handshakes_)
        known = known || server == d.from;
    if (!known && handshakes_.size() < maxHandshakes)
        handshakes_.emplace_back(d.from, back->second.request);
}

void ServerFinder::observe(const Datagram &d, uint64_t record) {
    datagrams_++;
    if (chosen_ && (d.from == *chosen_ || d.to == *chosen_))
        sawChosen_ = true;
    Key key{d.from, d.to};
    Flow &f = flowOf(key);
    f.datagrams++;
    f.last = record;
    bool query = isQuery(d.data, d.size);
    if (f.request == 0 && d.size > 0 && !query)
        f.request = record;
    handshakeStep(d, f);
    if (found_)
        return; // the flows now only serve to tell of other servers
    // A sample of each flow is enough to tell the game's message blocks
    // from the client's scrambled datagrams; the server browser's queries
    // are neither.
    if (f.checked >= sample || d.size <= 3 || query)
        return;
    f.checked++;
    f.readable += readsAsDatagram(d.data, d.size) ? 1 : 0;
    if (f.checked < sample)
        return;
    auto back = flows_.find(Key{d.to, d.from});
    if (back != flows_.end() && back->second.checked >= sample)
        if (std::optional<Endpoint> server = serverOf(key, f, back->second))
            addCandidate(*server);
}

std::optional<Endpoint> ServerFinder::serverOf(const Key &key, const Flow &flow,
                                               const Flow &reverse) const {
    bool here = isGame(flow), there = isGame(reverse);
    if (here && !there)
        return key.first;
    if (there && !here)
        return key.second;
    // Both read as the game's: the side on the game's usual port, if only
    // one is.
    if (here && there && (key.first.port == 7777) != (key.second.port == 7777))
        return key.first.port == 7777 ? key.first : key.second;
    return std::nullopt;
}

void ServerFinder::addCandidate(const Endpoint &server) {
    if (std::find(candidates_.begin(), candidates_.end(), server) == candidates_.end())
        candidates_.push_back(server);
}

ServerFinder::Verdict ServerFinder::decide(bool atEnd, Report &report, std::string &error) {
    if (found_)
        return Verdict::Found;
    if (chosen_) {
        // Waited for until its first datagram, so that a capture without
        // it runs nothing.
        if (sawChosen_) {
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
    if (candidates_.empty() && !atEnd)
        return Verdict::Wait;
    if (candidates_.empty())
        return atTheEnd(report, error);
    found_ = true;
    server_ = candidates_.front();
    report.notes.push_back("the capture holds no connection handshake; the game server is "
                           "taken to be " +
                           text(server_) + " (use --server HOST:PORT to choose another)");
    return Verdict::Found;
}

// A capture too short for a full sample each way: every conversation with
// a few datagrams each way is looked at, and it must name one server.
ServerFinder::Verdict ServerFinder::atTheEnd(Report &report, std::string &error) {
    for (const auto &[key, flow] : flows_) {
        auto back = flows_.find(Key{key.second, key.first});
        if (flow.checked < fewest || back == flows_.end() || back->second.checked < fewest)
            continue;
        if (std::optional<Endpoint> server = serverOf(key, flow, back->second))
            addCandidate(*server);
    }
    if (candidates_.size() == 1)
        return decide(true, report, error);
    if (candidates_.empty())
        error = "found no game server's traffic in the capture; name the server with --server "
                "HOST:PORT";
    else
        error = "the capture may hold several game servers (" + listOf(candidates_) +
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

std::string ServerFinder::seen() const {
    std::vector<std::pair<uint64_t, Key>> busiest;
    for (const auto &[key, flow] : flows_)
        busiest.emplace_back(flow.datagrams, key);
    size_t top = std::min<size_t>(3, busiest.size());
    std::partial_sort(busiest.begin(), busiest.begin() + static_cast<std::ptrdiff_t>(top),
                      busiest.end(),
                      [](const auto &a, const auto &b) { return a.first > b.first; });
    std::string s = countText(datagrams_) + (datagrams_ == 1 ? " datagram" : " datagrams") +
                    " in " + countText(flowsSeen_) + (flowsSeen_ == 1 ? " flow" : " flows");
    for (size_t i = 0; i < top; i++)
        s += std::string(i == 0 ? "; the busiest: " : ", ") + text(busiest[i].second.first) +
             " -> " + text(busiest[i].second.second) + " (" + countText(busiest[i].first) + ")";
    return s;
}

} // namespace capture
