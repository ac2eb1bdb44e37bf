// Which endpoint of a capture is the game server, found in one pass as the
// datagrams arrive: by the connection handshake the moment one is seen, or
// else by which side's datagrams read as the game's message blocks once
// enough of them have come each way (the client scrambles all it sends).
#pragma once

#include "report.h"
#include "udp.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace capture {

// ---- Finding the server ----

class ServerFinder {
  public:
    // `chosen`: the server the user named, if any.
    explicit ServerFinder(std::optional<Endpoint> chosen) : chosen_(chosen) {}

    // Takes in one datagram of the capture (each one, before and after the
    // server is found).
    void observe(const Datagram &d, uint64_t record);

    enum class Verdict { Wait, Found, Failed };
    // Whether the server is known from what has been observed. `atEnd`:
    // nothing more will come; `full`: no more may be waited for. The
    // verdict is then Found or Failed. Found sets server(); Failed sets
    // `error`. A server found without a handshake is noted in `report`.
    Verdict decide(bool atEnd, bool full, Report &report, std::string &error);
    const Endpoint &server() const { return server_; }

    // A second server that handshook after the first was found: what to
    // tell the user, once each.
    void noteOtherServers(Report &report);

    // Datagrams of each flow whose readability is sampled; a decision
    // without a handshake waits until both directions of a conversation
    // have shown this many.
    static constexpr uint32_t sample = 64;

  private:
    struct Flow {
        uint64_t datagrams = 0;
        uint32_t checked = 0, readable = 0;
    };
    bool saw(const Endpoint &e) const;
    Verdict fromMessageBlocks(bool atEnd, bool full, Report &report, std::string &error);

    std::optional<Endpoint> chosen_;
    bool found_ = false;
    Endpoint server_;
    // Servers that sent a handshake, in order of appearance, with the
    // record of their first.
    std::vector<std::pair<Endpoint, uint64_t>> handshakes_;
    size_t noted_ = 0; // handshake servers already told of, or the server itself
    std::map<std::pair<Endpoint, Endpoint>, Flow> flows_;
    bool newlySampled_ = false; // a flow's sample completed since the last look
};

} // namespace capture
