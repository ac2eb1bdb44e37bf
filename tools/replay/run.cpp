#include "run.h"

#include "sync_fields.h"

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
        r.screen_.width = e.width;
        r.screen_.height = e.height;
    }
    void operator()(const SetCursor &e) { host::setCursor(e.x, e.y); }
    void operator()(const SetLeftButton &e) { host::setLeftButton(e.pressed); }
    void operator()(const SetMenu &e) { host::setMenuActive(e.active); }
    void operator()(const SetCanDraw &e) { host::setCanDraw(e.canDraw); }
    void operator()(const SetBeginRender &e) { host::setBeginRenderResult(e.result); }
    void operator()(const SetFontHeight &e) {
        host::setFontHeight(e.height);
        r.screen_.fontHeight = e.height;
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
        host::deliverPacket(e.bytes.data(), e.bitCount, static_cast<int>(e.id));
    }
    void operator()(const Sync &e) { host::deliver(host::encodeSync(syncPacketOf(e))); }
    void operator()(const Rpc &e) {
        host::deliverRpc(static_cast<int>(e.id), e.data.data(), e.bitCount);
    }
    void operator()(const Spectate &e) {
        if (e.player) {
            // RPC 126: the player id as 16 bits, least significant byte first.
            unsigned char data[2] = {static_cast<unsigned char>(*e.player),
                                     static_cast<unsigned char>(*e.player >> 8)};
            host::deliverRpc(126, data, 16);
        } else {
            // RPC 124 with a zero value: spectating ends.
            unsigned char data[4] = {0, 0, 0, 0};
            host::deliverRpc(124, data, 32);
        }
    }
    void operator()(const Command &e) { host::typeCommand(e.name, e.args); }
};

Runner::Runner(Transcript &transcript) : transcript_(transcript) {
    drain(); // whatever loading the plugin did
}

void Runner::run(const Event &event, uint64_t origin) {
    origin_ = origin;
    std::visit(Play{*this}, event);
    drain();
}

const Picture &Runner::finish() {
    transcript_.flush();
    return picture_;
}

// Hands the effects so far to the transcript, each render pass whole.
void Runner::drain() {
    const std::vector<host::Effect> &effects = host::effects();
    if (effects.empty())
        return;
    for (const host::Effect &e : effects) {
        if (const auto *text = std::get_if<host::TextDrawn>(&e)) {
            if (!pass_.empty() && pass_.back().pass != text->pass)
                endPass();
            pass_.push_back(*text);
            continue;
        }
        if (!pass_.empty())
            endPass();
        transcript_.effect(e, origin_);
    }
    if (!pass_.empty())
        endPass();
    host::clearEffects();
}

void Runner::endPass() {
    transcript_.pass(pass_, origin_);
    picture_.labels = pass_;
    picture_.width = screen_.width;
    picture_.height = screen_.height;
    picture_.fontHeight = screen_.fontHeight;
    pass_.clear();
}

} // namespace replay
