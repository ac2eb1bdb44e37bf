#include "run.h"

#include "sync_fields.h"

#include "net/net.h"

#include <cstring>

namespace replay {

// Each event's effect on the host.
struct Play {
    Runner &r;

    void operator()(const SetTick &e) { host::setTick(e.tick); }
    void operator()(const Advance &e) { host::advanceTick(e.ms); }
    void operator()(const SetGame &e) { host::setGameState(e.state); }
    void operator()(const SetSampReady &e) { host::setSampInitialized(e.ready); }
    void operator()(const SetPlayer &e) {
        Runner::PlayerEntry &entry = r.players_[e.id];
        if (e.name)
            entry.name = *e.name;
        if (e.colour)
            entry.colour = *e.colour;
        host::setPlayer(e.id, entry.name, entry.colour);
    }
    void operator()(const SetScreen &e) {
        host::setScreen(e.width, e.height);
        r.now_.width = e.width;
        r.now_.height = e.height;
    }
    void operator()(const SetCursor &e) { host::setCursor(e.x, e.y); }
    void operator()(const SetLeftButton &e) { host::setLeftButton(e.pressed); }
    void operator()(const SetMenu &e) { host::setMenuActive(e.active); }
    void operator()(const SetCanDraw &e) { host::setCanDraw(e.canDraw); }
    void operator()(const SetBeginRender &e) { host::setBeginRenderResult(e.result); }
    void operator()(const SetFontHeight &e) {
        host::setFontHeight(e.height);
        r.now_.fontHeight = e.height;
    }
    void operator()(const SetFontFails &e) { host::setFontCreationFails(e.fails); }

    void operator()(const Frames &e) {
        // Frame by frame, so that a long run keeps no pile of effects.
        for (uint32_t i = 0; i < e.count; i++) {
            host::runFrame();
            r.drain();
        }
    }
    void operator()(const Packet &e) {
        r.deliverPacket(e.bytes.data(), e.bitCount, static_cast<int>(e.id));
    }
    void operator()(const Sync &e) {
        host::Packet packet = host::encodeSync(syncPacketOf(e));
        r.deliverPacket(packet.bytes.data(), packet.bitCount, host::playerSyncId);
    }
    void operator()(const Rpc &e) {
        r.deliverRpc(static_cast<int>(e.id), e.data.data(), e.bitCount);
    }
    void operator()(const Spectate &e) {
        if (e.player) {
            // RPC 126: the player id as 16 bits, least significant byte first.
            unsigned char data[2] = {static_cast<unsigned char>(*e.player),
                                     static_cast<unsigned char>(*e.player >> 8)};
            r.deliverRpc(126, data, 16);
        } else {
            // RPC 124 with a zero value: spectating ends.
            unsigned char data[4] = {0, 0, 0, 0};
            r.deliverRpc(124, data, 32);
        }
    }
    void operator()(const Command &e) { host::typeCommand(e.name, e.args); }
};

Runner::Runner(Transcript *transcript, Summary *summary, Screen *screen, Timeline *timeline,
               Filter filter)
    : transcript_(transcript), summary_(summary), screen_(screen), timeline_(timeline),
      filter_(std::move(filter)) {
    drain(); // whatever loading the plugin did
}

void Runner::begin(uint64_t origin) {
    origin_ = origin;
    if (!firstTick_)
        firstTick_ = host::tick();
    if (summary_)
        summary_->event();
}

void Runner::run(const Event &event, uint64_t origin) {
    begin(origin);
    std::visit(Play{*this}, event);
    drain();
}

void Runner::runPacket(const unsigned char *bytes, uint32_t bitCount, uint32_t id,
                       uint64_t origin) {
    begin(origin);
    deliverPacket(bytes, bitCount, static_cast<int>(id));
}

double Runner::seconds() const {
    if (!firstTick_)
        return 0;
    return static_cast<uint32_t>(host::tick() - *firstTick_) / 1000.0;
}

Place Runner::place() const { return Place{origin_, host::tick(), seconds()}; }

void Runner::finish() {
    if (screen_) {
        screen_->width = now_.width;
        screen_->height = now_.height;
        screen_->fontHeight = now_.fontHeight;
    }
    if (summary_) {
        summary_->end(seconds());
        if (transcript_)
            transcript_->summary(*summary_);
    }
    if (transcript_)
        transcript_->flush();
}

void Runner::deliverPacket(const unsigned char *bytes, uint32_t bitCount, int id) {
    // The one decoding of the packet on the tool's side, for every output:
    // the summary and the timeline follow suspect runs, and a warning line
    // in the transcript names the packets of its run.
    SuspectTracker::Step step =
        suspects_.packet(bytes, bitCount, id, host::tick(), origin_, seconds());
    if (summary_)
        summary_->packet(id, step);
    if (timeline_)
        timeline_->packet(step, seconds());
    // The plugin warns only while handling a packet its detection sees, and
    // then about that packet's sender.
    if (step.decoded)
        syncSender_ = step.player;
    handlingSync_ = id == host::playerSyncId;
    host::deliverPacket(bytes, bitCount, id);
    drain();
    syncSender_.reset();
    handlingSync_ = false;
}

void Runner::deliverRpc(int id, const unsigned char *data, uint32_t bitCount) {
    if (summary_)
        summary_->rpc();
    // Who is spectated, followed by the plugin's own reading of the RPC.
    BitStream stream(data, bitCount);
    if (followSpectateRpc(id, &stream, spectateTarget_)) {
        std::optional<uint16_t> before = spectated_;
        spectated_.reset();
        if (spectating(spectateTarget_))
            spectated_ = spectatedPlayer(spectateTarget_);
        if (timeline_)
            timeline_->spectate(spectated_, seconds());
        if (summary_ && spectated_ != before) {
            auto found = spectated_ ? players_.find(*spectated_) : players_.end();
            std::string name =
                found != players_.end() && found->second.name ? *found->second.name : std::string();
            summary_->spectate(spectated_, name, seconds());
        }
    }
    host::deliverRpc(id, data, bitCount);
}

bool Runner::shown(const Place &p) const {
    if (filter_.fromSeconds && p.seconds < *filter_.fromSeconds)
        return false;
    if (filter_.toSeconds && p.seconds > *filter_.toSeconds)
        return false;
    if (filter_.fromTick && p.tick < *filter_.fromTick)
        return false;
    if (filter_.toTick && p.tick > *filter_.toTick)
        return false;
    return true;
}

// Hands the effects so far on, each render pass whole.
void Runner::drain() {
    const std::vector<host::Effect> &effects = host::effects();
    if (effects.empty())
        return;
    Place p = place();
    bool inStretch = shown(p);
    for (const host::Effect &e : effects) {
        if (const auto *text = std::get_if<host::TextDrawn>(&e)) {
            if (!pass_.empty() && pass_.back().pass != text->pass)
                endPass();
            pass_.push_back(*text);
            continue;
        }
        if (!pass_.empty())
            endPass();
        bool keep = inStretch;
        if (const auto *chat = std::get_if<host::ChatLine>(&e)) {
            if (screen_)
                noteChat(*screen_, *chat);
            // A chat line posted while a player's sync packet was handled is
            // the warning about that player.
            if (handlingSync_)
                warnings_++;
            if (syncSender_) {
                auto found = players_.find(*syncSender_);
                std::string name = found != players_.end() && found->second.name
                                       ? *found->second.name
                                       : std::string();
                if (summary_)
                    summary_->warning(*syncSender_, name, p.seconds);
                cause_ = WarningCause{*syncSender_, name, suspects_.evidence(*syncSender_)};
                if (timeline_)
                    timeline_->warning(*syncSender_, name, p.seconds,
                                       cause_.evidence.empty() ? -1
                                                               : cause_.evidence.front().seconds);
            }
            if (!filter_.players.empty())
                keep = keep && syncSender_ && filter_.players.count(*syncSender_) != 0;
        } else if (!filter_.players.empty()) {
            keep = false;
        }
        if (keep && transcript_) {
            Place at = p;
            if (syncSender_ && std::holds_alternative<host::ChatLine>(e))
                at.warning = &cause_;
            transcript_->effect(e, at);
        }
    }
    if (!pass_.empty())
        endPass();
    host::clearEffects();
}

void Runner::endPass() {
    Place p = place();
    if (timeline_)
        timeline_->pass(pass_, p.seconds);
    if (screen_) {
        screen_->labels = pass_;
        screen_->width = now_.width;
        screen_->height = now_.height;
        screen_->fontHeight = now_.fontHeight;
    }
    bool keep = shown(p);
    if (!filter_.players.empty())
        keep = keep && spectated_ && filter_.players.count(*spectated_) != 0;
    if (keep && transcript_)
        transcript_->pass(pass_, p);
    pass_.clear();
}

} // namespace replay
