#include "session.h"

#include "handshake.h"
#include "pool.h"

namespace capture {

// Message identifiers the network layer keeps to itself: below 20, and the
// connection's own (lost-connection probes, handshake, disconnection,
// acceptance, pongs, static data).
static bool isInternal(unsigned id) {
    if (id < 20)
        return true;
    switch (id) {
    case 23:
    case 24:
    case 25:
    case 26:
    case 29:
    case 30:
    case 31:
    case 32:
    case 33:
    case 34:
    case 36:
    case 37:
    case 39:
    case 41:
        return true;
    default:
        return false;
    }
}
static const unsigned idRpc = 20, idTimestamp = 40;

// The longest stretch between two records that runs frames; a longer one
// (a stamp years ahead, a capture joined from two days) counts as this.
static const uint64_t maxGapNs = 3600ull * 1000000000ull;
static const uint64_t nsPerMs = 1000000;

Session::Session(const Options &options, const EventSink &sink, Report &report, Endpoint server)
    : options_(options), sink_(sink), report_(report), server_(server) {
    packetEvent_ = replay::Packet{};
    rpcEvent_ = replay::Rpc{};
}

void Session::record(const Record &r) {
    current_ = r;
    current_.data = nullptr;
    record_ = r.number;
}

void Session::used(bool yes) {
    if (yes)
        report_.usedRecords++;
    if (options_.onRecord)
        options_.onRecord(record_, yes);
}

// A datagram of this record, whoever it is between.
void Session::datagram(const Datagram &d) {
    // Only the game's traffic moves its clock: the session's time starts at
    // its first datagram and its frames run on its datagrams' times, so
    // that other traffic around it changes nothing the plugin sees.
    if (!(d.to == server_) && !(d.from == server_)) {
        report_.skip(Skip::OtherTraffic, record_);
        used(false);
        return;
    }
    if (!started_)
        startUp(current_);
    schedule(current_);
    lastGameRecord_ = record_;
    if (d.to == server_) {
        used(true); // the client's: it tells nothing the server's do not
        return;
    }
    if (!(hasClient_ && d.to == client_)) {
        // The server browser's queries come before a connection and make
        // none: the client is the one the server then connects.
        if (isQuery(d.data, d.size)) {
            used(true);
            return;
        }
        // Unless --client names one, the first client is followed; a
        // handshake to another port of the same machine is that client
        // connecting again. Another machine is another player (a capture
        // taken on the server).
        bool chosen = options_.client ? d.to == *options_.client
                                      : !hasClient_ || (isHandshake(d.data, d.size) &&
                                                        d.to.address == client_.address);
        if (chosen) {
            newClient(d.to, isHandshake(d.data, d.size));
        } else {
            otherClient(d.to);
            report_.skip(Skip::OtherClient, record_);
            used(false);
            return;
        }
    }
    used(true);
    fromServer(d.data, d.size);
}

// The server's datagrams to a client not followed, counted for the report
// (the first clients only, so that a flood of them costs no memory).
void Session::otherClient(const Endpoint &client) {
    auto it = others_.find(client);
    if (it == others_.end()) {
        if (others_.size() >= maxOtherClients) {
            uncounted_++;
            return;
        }
        it = others_.emplace(client, OtherClient{0, record_}).first;
    }
    it->second.datagrams++;
}

void Session::finish() {
    if (!started_) {
        Record none;
        startUp(none);
    }
    if (options_.client && !hasClient_)
        report_.notes.push_back("the capture holds no datagram from the server to the client " +
                                text(*options_.client));
    // A few clients by name; on a busy server the rest in one line.
    uint64_t named = 0, restClients = 0, restDatagrams = uncounted_;
    for (const auto &[client, other] : others_) {
        if (hasClient_ && client == client_)
            continue; // followed in the end, after another
        if (named++ >= namedOthers) {
            restClients++;
            restDatagrams += other.datagrams;
            continue;
        }
        report_.notes.push_back("the server also sent " + std::to_string(other.datagrams) +
                                (other.datagrams == 1 ? " datagram" : " datagrams") +
                                " to another client, " + text(client) + ", from record " +
                                std::to_string(other.firstRecord) + ": --client " + text(client) +
                                " would follow it instead");
    }
    if (restClients > 0)
        report_.notes.push_back("the server also sent " + countText(restDatagrams) +
                                " datagrams to " + countText(restClients) +
                                (uncounted_ > 0 ? " or more" : "") +
                                " other clients (--client HOST:PORT follows one of them)");
    receiver_.finish(report_);
    // One more frame after the game's last record, which it carries.
    record_ = lastGameRecord_;
    frame(nextFrame_);
}

void Session::deliver(const unsigned char *data, uint32_t bits) {
    if (bits < 8)
        return; // no identifier to hand up
    unsigned id = data[0];
    if (id == idTimestamp && bits >= 48 && data[5] == idRpc)
        rpc(data, bits, 40);
    else if (id == idRpc)
        rpc(data, bits, 0);
    else if (!isInternal(id))
        packet(data, bits, id);
}

void Session::setTick(uint32_t tick) {
    if (tickSet_ && tick == tick_)
        return;
    tick_ = tick;
    tickSet_ = true;
    emit(replay::SetTick{tick});
}

// The host as a trace starts it, and the frame the plugin starts on.
void Session::startUp(const Record &first) {
    started_ = true;
    record_ = first.number;
    t0_ = lastNs_ = first.timeNs;
    setTick(startTick);
    emit(replay::SetGame{9});
    emit(replay::SetSampReady{true});
    emit(replay::SetScreen{1920, 1080});
    emit(replay::SetFontHeight{14.0f});
    emit(replay::Frames{1});
    nextFrame_ = 1;
}

// Frame k is due k x F ms after the first record; every frame due by
// this record's time runs before it, and its messages come at its time.
void Session::schedule(const Record &r) {
    uint64_t t = r.hasTime ? r.timeNs - shiftNs_ : lastNs_;
    if (r.hasTime && r.timeNs < shiftNs_)
        t = lastNs_;
    if (t < lastNs_)
        t = lastNs_; // stamped before the record before it
    if (t - lastNs_ > maxGapNs) {
        uint64_t cut = t - lastNs_ - maxGapNs;
        shiftNs_ += cut;
        t -= cut;
        if (gapNotes_++ == 0)
            report_.notes.push_back("record " + std::to_string(r.number) +
                                    " is stamped more than an hour after the one before; "
                                    "such gaps count as one hour");
    }
    lastNs_ = t;
    record_ = r.number;
    uint64_t frameNs = static_cast<uint64_t>(options_.frameMs) * nsPerMs;
    // Measured from t0, which a stamp near the end of the clock's range
    // would make overflow if added to.
    while (nextFrame_ * frameNs <= t - t0_)
        frame(nextFrame_);
    recordTick_ = static_cast<uint32_t>(startTick + (t - t0_) / nsPerMs);
}

void Session::frame(uint64_t k) {
    setTick(static_cast<uint32_t>(startTick + k * options_.frameMs));
    emit(replay::Frames{1});
    nextFrame_ = k + 1;
}

void Session::newClient(const Endpoint &client, bool handshake) {
    hasClient_ = true;
    client_ = client;
    key_.reset();
    connected_ = false;
    if (!handshake) {
        // Whatever came before the capture began is unknown.
        connected_ = true;
        receiver_.reset(false);
        report_.notes.push_back(
            "the capture begins after the connection to " + text(server_) + " was made (record " +
            std::to_string(record_) +
            "): message counters are unknown and start from the first messages seen; "
            "a message resent from before the capture began is not handed on");
    }
}

void Session::fromServer(const unsigned char *data, size_t size) {
    // With a key from the server, datagrams are scrambled with it and
    // carry a checksum; one whose checksum fails is read as it stands.
    bool decrypted = false;
    if (key_ && size >= 2) {
        plain_.resize(size - 1);
        unsigned checksum = 0;
        for (size_t i = 0; i + 1 < size; i++) {
            plain_[i] = static_cast<unsigned char>(data[i + 1] ^ (*key_)[i % 4]);
            checksum ^= plain_[i] & 0xAAu;
        }
        if (checksum == data[0]) {
            data = plain_.data();
            size = plain_.size();
            decrypted = true;
        }
    }
    if (isKeyDatagram(data, size)) {
        key_ = std::array<unsigned char, 4>{data[5], data[6], data[7], data[8]};
        return;
    }
    if (isConnectionReply(data, size)) {
        // A new connection: every counter starts from zero. A reply
        // that came unscrambled means the key is no longer in use.
        if (!decrypted)
            key_.reset();
        receiver_.reset(true);
        connected_ = true;
        return;
    }
    if (isCookieRequest(data, size)) {
        connected_ = false; // the client connects (again): what came before is over
        return;
    }
    if (isRefusal(data, size) || isQuery(data, size))
        return;
    if (!connected_)
        return; // before the connection reply: pongs and the like
    if (!receiver_.receive(data, size, lastNs_, record_, *this, report_))
        report_.skip(Skip::Unreadable, record_);
}

void Session::packet(const unsigned char *data, uint32_t bits, unsigned id) {
    setTick(recordTick_);
    if (options_.packets) {
        options_.packets(data, bits, id, record_);
        return;
    }
    auto &p = std::get<replay::Packet>(packetEvent_);
    p.bytes.assign(data, data + (bits + 7) / 8);
    p.bitCount = bits;
    p.id = id;
    emit(packetEvent_);
}

// An RPC message from bit `at`: its marker, its identifier, the
// parameters' length in bits (compressed) and the parameters, unaligned.
void Session::rpc(const unsigned char *data, uint32_t bits, size_t at) {
    BitReader in(data, (bits + 7) / 8, bits);
    uint32_t id = 0, length = 0;
    if (!in.skip(at + 8) || !in.byte(id) || !in.compressed(length, 4) || length > in.remaining()) {
        report_.skip(Skip::BadRpc, record_);
        return;
    }
    setTick(recordTick_);
    auto &r = std::get<replay::Rpc>(rpcEvent_);
    r.id = id;
    r.bitCount = length;
    r.data.resize((length + 7) / 8);
    in.copy(r.data.data(), length);
    emit(rpcEvent_);
    if (std::optional<replay::SetPlayer> change = poolChangeOf(id, r.data.data(), length))
        emit(*change);
}

} // namespace capture
