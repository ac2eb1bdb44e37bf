// Which endpoint of a capture is the game server, found in one pass as the
// datagrams arrive, among whatever other traffic the capture holds: by the
// connection handshake the moment its exchange is complete, or else by
// which side of a conversation sends the game's message blocks once enough
// datagrams have come each way (the client scrambles all it sends).
#pragma once

#include "report.h"
#include "udp.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace capture {

class ServerFinder {
  public:
    // `chosen`: the server the user named, if any.
    explicit ServerFinder(std::optional<Endpoint> chosen) : chosen_(chosen) {}
    ServerFinder(const ServerFinder &) = delete; // it points into its own table
    ServerFinder &operator=(const ServerFinder &) = delete;

    // Takes in one datagram of the capture (each one, before and after the
    // server is found).
    void observe(const Datagram &d, uint64_t record);

    enum class Verdict { Wait, Found, Failed };
    // Whether the server is known from what has been observed; `atEnd`:
    // nothing more will come, and the verdict is Found or Failed. Found
    // sets server(); Failed sets `error`. A server found without a
    // handshake is noted in `report`.
    Verdict decide(bool atEnd, Report &report, std::string &error);
    const Endpoint &server() const { return server_; }

    // A second server that handshook after the first was found: what to
    // tell the user, once each.
    void noteOtherServers(Report &report);

    // What has been seen so far, for a user still waiting for the game:
    // "12,000 datagrams in 3 flows; the busiest: A -> B (6,000), ...".
    std::string seen() const;

    // Datagrams of each flow whose readability is sampled; a decision
    // without a handshake comes once both directions of a conversation
    // have shown this many.
    static constexpr uint32_t sample = 64;
    // At the end of a capture, a conversation with fewer than this many
    // datagrams sampled either way is too little to go by.
    static constexpr uint32_t fewest = 8;
    // The flows looked at, at most; past it the least likely to be the
    // game make room.
    static constexpr size_t maxFlows = 4096;

  private:
    using Key = std::pair<Endpoint, Endpoint>; // from, to
    struct Flow {
        uint64_t datagrams = 0;
        uint64_t last = 0;    // the record of its latest datagram
        uint64_t request = 0; // the record of its first datagram that may ask to connect
        uint32_t checked = 0, readable = 0;
        bool handshaking = false; // the server's side of a handshake under way
        std::optional<std::array<unsigned char, 4>> key;
    };
    Flow &flowOf(const Key &key);
    void makeRoom();
    void handshakeStep(const Datagram &d, Flow &flow);
    bool isGame(const Flow &flow) const {
        return flow.checked > 0 && flow.readable * 10 >= flow.checked * 9;
    }
    // The server of the conversation between the two flows, if one side
    // reads as the game's and the other does not.
    std::optional<Endpoint> serverOf(const Key &key, const Flow &flow, const Flow &reverse) const;
    void addCandidate(const Endpoint &server);
    Verdict atTheEnd(Report &report, std::string &error);

    std::optional<Endpoint> chosen_;
    bool sawChosen_ = false;
    bool found_ = false;
    Endpoint server_;
    // Servers whose handshake completed, in order, with the record of the
    // client's request.
    std::vector<std::pair<Endpoint, uint64_t>> handshakes_;
    size_t noted_ = 0; // handshake servers already told of, or the server itself
    std::map<Key, Flow> flows_;
    std::map<Key, Flow>::iterator last_ = flows_.end(); // the flow looked up last
    // Servers named by a conversation sampled in full each way, in order.
    std::vector<Endpoint> candidates_;
    uint64_t datagrams_ = 0, flowsSeen_ = 0;
};

} // namespace capture
