#include "capture.h"

#include "container.h"
#include "link.h"
#include "pool.h"
#include "reliability.h"
#include "server.h"

#include <array>
#include <deque>
#include <vector>

namespace capture {

namespace {

// Message identifiers the network layer keeps to itself: below 20, and the
// connection's own (lost-connection probes, handshake, disconnection,
// acceptance, pongs, static data).
bool isInternal(unsigned id) {
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
const unsigned idRpc = 20, idTimestamp = 40;

// The longest stretch between two records that runs frames; a longer one
// (a stamp years ahead, a capture joined from two days) counts as this.
const uint64_t maxGapNs = 3600ull * 1000000000ull;
const uint64_t nsPerMs = 1000000;

// Reads the records of a capture down to UDP datagrams.
class DatagramSource {
  public:
    explicit DatagramSource(ByteSource &in) : container_(in) {}
    bool start(std::string &error) {
        if (container_.start())
            return true;
        error = container_.error();
        return false;
    }
    enum class Step { Datagram, Other, End };
    // The next record: a datagram, or something else (skipped with `why`
    // set, or a held fragment with `why` unset).
    Step next(Record &record, Datagram &datagram, std::optional<Skip> &why, Report &report) {
        ContainerReader::Next n = container_.next(record);
        if (n == ContainerReader::Next::Truncated) {
            report.truncated = true;
            report.truncatedRecord = container_.truncatedRecord();
            report.truncatedBytes = container_.truncatedBytes();
        }
        if (n == ContainerReader::Next::Corrupt)
            report.unreadableRest = container_.error();
        if (n != ContainerReader::Next::Record) {
            udp_.finish(report);
            return Step::End;
        }
        report.records++;
        why.reset();
        const unsigned char *packet = nullptr;
        size_t size = 0;
        if ((why = ipv4Of(record, packet, size)))
            return Step::Other;
        // How much of the IP packet the capture kept, against what was sent.
        bool cut = record.capturedLength < record.originalLength;
        Skip skip = Skip::BadHeader;
        switch (
            udp_.read(packet, size, cut, record.timeNs, record.number, datagram, skip, report)) {
        case UdpReader::Outcome::Datagram:
            return Step::Datagram;
        case UdpReader::Outcome::Held:
            return Step::Other;
        case UdpReader::Outcome::Skipped:
            why = skip;
            return Step::Other;
        }
        return Step::Other;
    }

  private:
    ContainerReader container_;
    UdpReader udp_;
};

// ---- Playing the connection ----

// The client's side of one connection to the server: the datagrams the
// server sends it, through the reliability layer, as the events the game's
// network layer hands up, on the capture's time line.
class Session : public Delivery {
  public:
    Session(const Options &options, const EventSink &sink, Report &report, Endpoint server)
        : options_(options), sink_(sink), report_(report), server_(server) {
        packetEvent_ = replay::Packet{};
        rpcEvent_ = replay::Rpc{};
    }

    void record(const Record &r) {
        if (!started_)
            startUp(r);
        schedule(r);
        record_ = r.number;
    }
    void used(bool yes) {
        if (yes)
            report_.usedRecords++;
        if (options_.onRecord)
            options_.onRecord(record_, yes);
    }

    // A datagram of this record, whoever it is between.
    void datagram(const Datagram &d) {
        if (d.to == server_) {
            used(true); // the client's: it tells nothing the server's do not
            return;
        }
        if (!(d.from == server_)) {
            report_.skip(Skip::OtherTraffic, record_);
            used(false);
            return;
        }
        if (!(hasClient_ && d.to == client_)) {
            // The server browser's queries come before a connection and make
            // none: the client is the one the server then connects.
            if (isQuery(d.data, d.size)) {
                used(true);
                return;
            }
            if (isHandshake(d.data, d.size) || !hasClient_) {
                newClient(d.to, isHandshake(d.data, d.size));
            } else {
                report_.skip(Skip::OtherClient, record_);
                used(false);
                return;
            }
        }
        used(true);
        fromServer(d.data, d.size);
    }

    void finish() {
        if (!started_) {
            Record none;
            startUp(none);
        }
        receiver_.finish(report_);
        // One more frame after the last record.
        frame(nextFrame_);
    }

    void deliver(const unsigned char *data, uint32_t bits) override {
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

  private:
    void emit(const replay::Event &e) { sink_(e, record_); }

    void setTick(uint32_t tick) {
        if (tickSet_ && tick == tick_)
            return;
        tick_ = tick;
        tickSet_ = true;
        emit(replay::SetTick{tick});
    }

    // The host as a trace starts it, and the frame the plugin starts on.
    void startUp(const Record &first) {
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
    void schedule(const Record &r) {
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

    void frame(uint64_t k) {
        setTick(static_cast<uint32_t>(startTick + k * options_.frameMs));
        emit(replay::Frames{1});
        nextFrame_ = k + 1;
    }

    void newClient(const Endpoint &client, bool handshake) {
        hasClient_ = true;
        client_ = client;
        key_.reset();
        connected_ = false;
        if (!handshake) {
            // Whatever came before the capture began is unknown.
            connected_ = true;
            receiver_.reset(false);
            report_.notes.push_back(
                "the capture begins after the connection to " + text(server_) +
                " was made (record " + std::to_string(record_) +
                "): message counters are unknown and start from the first messages seen; "
                "a message resent from before the capture began is not handed on");
        }
    }

    void fromServer(const unsigned char *data, size_t size) {
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

    void packet(const unsigned char *data, uint32_t bits, unsigned id) {
        setTick(recordTick_);
        auto &p = std::get<replay::Packet>(packetEvent_);
        p.bytes.assign(data, data + (bits + 7) / 8);
        p.bitCount = bits;
        p.id = id;
        emit(packetEvent_);
    }

    // An RPC message from bit `at`: its marker, its identifier, the
    // parameters' length in bits (compressed) and the parameters, unaligned.
    void rpc(const unsigned char *data, uint32_t bits, size_t at) {
        BitReader in(data, (bits + 7) / 8, bits);
        uint32_t id = 0, length = 0;
        if (!in.skip(at + 8) || !in.byte(id) || !in.compressed(length, 4) ||
            length > in.remaining()) {
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

    const Options &options_;
    const EventSink &sink_;
    Report &report_;
    Endpoint server_;

    bool started_ = false;
    uint64_t record_ = 0;
    uint64_t t0_ = 0, lastNs_ = 0, shiftNs_ = 0;
    uint64_t nextFrame_ = 0;
    uint32_t gapNotes_ = 0;
    uint32_t tick_ = 0, recordTick_ = startTick;
    bool tickSet_ = false;

    bool hasClient_ = false, connected_ = false;
    Endpoint client_;
    std::optional<std::array<unsigned char, 4>> key_;
    std::vector<unsigned char> plain_;
    Receiver receiver_;

    replay::Event packetEvent_, rpcEvent_;
};

} // namespace

namespace {

// A record read before the server was known, kept to be played once it is.
struct HeldRecord {
    Record record; // its data is not kept
    DatagramSource::Step step;
    std::optional<Skip> why;
    Endpoint from, to;
    std::vector<unsigned char> bytes;
};

// At most this much is held while the server is being found; past it, the
// server is chosen from what has come.
const size_t maxHeldRecords = 4096;
const size_t maxHeldBytes = 8u << 20;

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
    DatagramSource source(in);
    if (!source.start(result.error))
        return result;

    // One pass: records are held until the server is known, then played in
    // order, and every record after them as it comes.
    ServerFinder finder(options.server);
    std::optional<Session> session;
    std::deque<HeldRecord> held;
    size_t heldBytes = 0;
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
            }
            bool full = held.size() >= maxHeldRecords || heldBytes >= maxHeldBytes;
            ServerFinder::Verdict verdict = finder.decide(atEnd, full, result.report, result.error);
            if (verdict == ServerFinder::Verdict::Failed)
                return result;
            if (verdict == ServerFinder::Verdict::Wait)
                continue;
            result.server = finder.server();
            session.emplace(options, sink, result.report, result.server);
            playHeld(*session, held, result.report);
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
