// Playing a capture's connection to the game server: the records in time
// order, the frames due between them, the client followed, the server's
// datagrams unscrambled and handed through the reliability layer, and each
// message the client's network layer hands up turned into an event (a
// packet, an RPC, a change of the player pool).
#pragma once

#include "capture.h"
#include "container.h"
#include "reliability.h"

#include <array>
#include <map>
#include <optional>
#include <vector>

namespace capture {

class Session : public Delivery {
  public:
    Session(const Options &options, const EventSink &sink, Report &report, Endpoint server);
    // Each record before its datagram, in order.
    void record(const Record &r);
    // Whether the record was used or skipped.
    void used(bool yes);
    // A datagram of this record, whoever it is between.
    void datagram(const Datagram &d);
    // After the last record: one more frame.
    void finish();
    // A message the reliability layer hands up.
    void deliver(const unsigned char *data, uint32_t bits) override;

  private:
    void emit(const replay::Event &e) { sink_(e, record_); }
    void setTick(uint32_t tick);
    // The host as a trace starts it, and the frame the plugin starts on.
    void startUp(const Record &first);
    // Frame k is due k x F ms after the first record; every frame due by
    // this record's time runs before it, and its messages come at its time.
    void schedule(const Record &r);
    void frame(uint64_t k);
    void newClient(const Endpoint &client, bool handshake);
    void otherClient(const Endpoint &client);
    void fromServer(const unsigned char *data, size_t size);
    void packet(const unsigned char *data, uint32_t bits, unsigned id);
    // An RPC message from bit `at`: its marker, its identifier, the
    // parameters' length in bits (compressed) and the parameters, unaligned.
    void rpc(const unsigned char *data, uint32_t bits, size_t at);

    const Options &options_;
    const EventSink &sink_;
    Report &report_;
    Endpoint server_;

    bool started_ = false;
    Record current_;
    uint64_t record_ = 0, lastGameRecord_ = 0;
    uint64_t t0_ = 0, lastNs_ = 0, shiftNs_ = 0;
    uint64_t nextFrame_ = 0;
    uint32_t gapNotes_ = 0;
    uint32_t tick_ = 0, recordTick_ = startTick;
    bool tickSet_ = false;

    bool hasClient_ = false, connected_ = false;
    Endpoint client_;
    struct OtherClient {
        uint64_t datagrams;
        uint64_t firstRecord;
    };
    static constexpr size_t maxOtherClients = 256;
    static constexpr size_t namedOthers = 5; // told of by name; the rest in one line
    std::map<Endpoint, OtherClient> others_;
    uint64_t uncounted_ = 0; // datagrams to clients past the first ones
    std::optional<std::array<unsigned char, 4>> key_;
    std::vector<unsigned char> plain_;
    Receiver receiver_;

    replay::Event packetEvent_, rpcEvent_;
};

} // namespace capture
