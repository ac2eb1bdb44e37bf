// Finding the game server in a capture: by its handshake, or else as the
// side of a conversation whose datagrams read as the game's message blocks
// while the other side's do not (the client scrambles everything it sends).
#pragma once

#include "capture.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace capture {

struct Flow {
    uint64_t datagrams = 0;
    uint32_t checked = 0, readable = 0;
};

// What the datagrams seen so far say about who the server is.
struct Survey {
    std::vector<Endpoint> handshakeServers; // in order of appearance
    std::map<std::pair<Endpoint, Endpoint>, Flow> flows;
    bool sawServer(const Endpoint &e) const;
};

// Takes one datagram into the survey.
void observe(Survey &survey, const Datagram &d);

// The server (the one --server names, if given), or nothing with the
// reason in `error`. A server taken without a handshake is noted in
// `report`.
std::optional<Endpoint> chooseServer(const Survey &survey, const Options &options,
                                     std::string &error, Report &report);

} // namespace capture
