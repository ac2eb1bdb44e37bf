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
        Place at = r.place();
        for (Output *o : r.outputs_)
            o->player(e.id, entry.name, entry.colour, at);
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

Runner::Runner(std::vector<Output *> outputs) : outputs_(std::move(outputs)) {
    for (const Output *o : outputs_)
        judgeEvery_ = judgeEvery_ || o->needsEveryPacket();
    drain(); // whatever loading the plugin did
}

void Runner::begin(uint64_t origin) {
    origin_ = origin;
    if (!firstTick_)
        firstTick_ = host::tick();
    // The host's clock stands still until the event is played: the place
    // taken here is the packet's too.
    here_ = place();
    for (Output *o : outputs_)
        o->event(here_);
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

std::string Runner::nameOf(uint16_t player) const {
    auto found = players_.find(player);
    return found != players_.end() && found->second.name ? *found->second.name : std::string();
}

void Runner::flush() {
    for (Output *o : outputs_)
        o->flush();
}

void Runner::finish() {
    RunEnd end = now_;
    end.seconds = seconds();
    for (Output *o : outputs_)
        o->finish(end);
}

void Runner::deliverPacket(const unsigned char *bytes, uint32_t bitCount, int id) {
    // The plugin warns only while handling a sync packet, and then about
    // its sender, with the packets of the sender's run as evidence.
    if (judgeEvery_) {
        // Decoded and judged beside the plugin, for the outputs that follow
        // suspect runs (the summary, the timeline).
        SuspectTracker::Step step =
            suspects_.packet(bytes, bitCount, id, here_.tick, origin_, here_.seconds);
        for (Output *o : outputs_)
            o->packet(id, step, here_);
        if (step.decoded)
            syncSender_ = step.player;
    } else if (id == host::playerSyncId) {
        // Only kept: decoded if a warning comes.
        syncSender_ = recent_.keep(bytes, bitCount, here_.tick, origin_, here_.seconds);
    }
    handlingSync_ = id == host::playerSyncId;
    host::deliverPacket(bytes, bitCount, id);
    drain();
    syncSender_.reset();
    handlingSync_ = false;
}

void Runner::deliverRpc(int id, const unsigned char *data, uint32_t bitCount) {
    Place at = place();
    for (Output *o : outputs_)
        o->rpc(id, data, bitCount, at);
    // Who is spectated, followed by the plugin's own reading of the RPC.
    BitStream stream(data, bitCount);
    if (followSpectateRpc(id, &stream, spectateTarget_)) {
        spectated_.reset();
        if (spectating(spectateTarget_))
            spectated_ = spectatedPlayer(spectateTarget_);
        std::string name = spectated_ ? nameOf(*spectated_) : std::string();
        for (Output *o : outputs_)
            o->spectate(spectated_, name, at);
    }
    host::deliverRpc(id, data, bitCount);
}

// Hands the effects so far on, each render pass whole.
void Runner::drain() {
    const std::vector<host::Effect> &effects = host::effects();
    if (effects.empty())
        return;
    Place p = place();
    for (const host::Effect &e : effects) {
        if (const auto *text = std::get_if<host::TextDrawn>(&e)) {
            if (!pass_.empty() && pass_.back().pass != text->pass)
                endPass();
            pass_.push_back(*text);
            continue;
        }
        if (!pass_.empty())
            endPass();
        Place at = p;
        if (std::holds_alternative<host::ChatLine>(e)) {
            // A chat line posted while a player's sync packet was handled is
            // the warning about that player.
            if (handlingSync_)
                warnings_++;
            if (syncSender_) {
                cause_ = WarningCause{*syncSender_, nameOf(*syncSender_),
                                      judgeEvery_ ? suspects_.evidence(*syncSender_)
                                                  : recent_.evidence(*syncSender_)};
                at.warning = &cause_;
            }
        }
        for (Output *o : outputs_)
            o->effect(e, at);
    }
    if (!pass_.empty())
        endPass();
    host::clearEffects();
}

void Runner::endPass() {
    Place p = place();
    for (Output *o : outputs_)
        o->pass(pass_, p);
    pass_.clear();
}

} // namespace replay
