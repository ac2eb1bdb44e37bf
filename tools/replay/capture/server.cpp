#include "server.h"

#include "handshake.h"
#include "reliability.h"

namespace capture {

bool Survey::sawServer(const Endpoint &e) const {
    for (const auto &[key, flow] : flows)
        if (key.first == e || key.second == e)
            return true;
    return false;
}

void observe(Survey &survey, const Datagram &d) {
    if (isHandshake(d.data, d.size)) {
        bool known = false;
        for (const Endpoint &e : survey.handshakeServers)
            known = known || e == d.from;
        if (!known)
            survey.handshakeServers.push_back(d.from);
    }
    auto key = std::make_pair(d.from, d.to);
    auto it = survey.flows.find(key);
    if (it == survey.flows.end()) {
        if (survey.flows.size() >= 4096)
            return; // enough to decide from
        it = survey.flows.emplace(key, Flow{}).first;
    }
    Flow &f = it->second;
    f.datagrams++;
    // A sample of each flow is enough to tell the game's message blocks
    // from the client's scrambled datagrams.
    if (f.checked < 64 && d.size > 3) {
        f.checked++;
        f.readable += readsAsDatagram(d.data, d.size) ? 1 : 0;
    }
}

static bool mostlyReadable(const Flow *f) {
    return f && f->checked > 0 && f->readable * 10 >= f->checked * 9;
}

static std::string listOf(const std::vector<Endpoint> &endpoints) {
    std::string s;
    for (const Endpoint &e : endpoints)
        s += (s.empty() ? "" : ", ") + text(e);
    return s;
}

std::optional<Endpoint> chooseServer(const Survey &survey, const Options &options,
                                     std::string &error, Report &report) {
    if (options.server) {
        if (!survey.sawServer(*options.server)) {
            error = "the capture holds no UDP traffic of " + text(*options.server);
            return std::nullopt;
        }
        return options.server;
    }
    if (survey.handshakeServers.size() == 1)
        return survey.handshakeServers.front();
    if (survey.handshakeServers.size() > 1) {
        error = "the capture holds connections to several servers (" +
                listOf(survey.handshakeServers) + "); choose one with --server HOST:PORT";
        return std::nullopt;
    }
    std::vector<Endpoint> candidates;
    for (const auto &[key, flow] : survey.flows) {
        auto back = survey.flows.find(std::make_pair(key.second, key.first));
        const Flow *reverse = back == survey.flows.end() ? nullptr : &back->second;
        bool server =
            mostlyReadable(&flow) &&
            (!mostlyReadable(reverse) || (key.first.port == 7777 && key.second.port != 7777));
        bool known = false;
        for (const Endpoint &e : candidates)
            known = known || e == key.first;
        if (server && !known)
            candidates.push_back(key.first);
    }
    if (candidates.size() == 1) {
        report.notes.push_back("the capture holds no connection handshake; the game server is "
                               "taken to be " +
                               text(candidates.front()) +
                               " (use --server HOST:PORT to choose another)");
        return candidates.front();
    }
    if (candidates.empty())
        error = "found no game server's traffic in the capture; name the server with --server "
                "HOST:PORT";
    else
        error = "the capture may hold several game servers (" + listOf(candidates) +
                "); choose one with --server HOST:PORT";
    return std::nullopt;
}

} // namespace capture
