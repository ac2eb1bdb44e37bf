#include "run.h"

#include "sync_fields.h"

#include <map>

namespace replay {

namespace {

struct PlayerEntry {
    std::optional<std::string> name;
    uint32_t colour = 0xFFFFFFFF;
};

// What the host is told and the tool has to remember: the player pool's
// entries (an event may change one companion alone) and what the picture
// needs.
struct Session {
    Transcript &transcript;
    std::map<uint16_t, PlayerEntry> players;
    Picture screen; // the current screen size and font height
    Picture picture;

    // Hands the effects so far to the transcript, each render pass whole.
    void drain() {
        const std::vector<host::Effect> &effects = host::effects();
        std::vector<host::TextDrawn> pass;
        for (const host::Effect &e : effects) {
            if (const auto *text = std::get_if<host::TextDrawn>(&e)) {
                if (!pass.empty() && pass.back().pass != text->pass)
                    endPass(pass);
                pass.push_back(*text);
                continue;
            }
            if (!pass.empty())
                endPass(pass);
            transcript.effect(e);
        }
        if (!pass.empty())
            endPass(pass);
        host::clearEffects();
    }

    void endPass(std::vector<host::TextDrawn> &pass) {
        transcript.pass(pass);
        picture.labels = pass;
        picture.width = screen.width;
        picture.height = screen.height;
        picture.fontHeight = screen.fontHeight;
        pass.clear();
    }

    void operator()(const SetTick &e) { host::setTick(e.tick); }
    void operator()(const Advance &e) { host::advanceTick(e.ms); }
    void operator()(const SetGame &e) { host::setGameState(e.state); }
    void operator()(const SetSampReady &e) { host::setSampInitialized(e.ready); }
    void operator()(const SetPlayer &e) {
        PlayerEntry &entry = players[e.id];
        if (e.name)
            entry.name = *e.name;
        if (e.colour)
            entry.colour = *e.colour;
        host::setPlayer(e.id, entry.name, entry.colour);
    }
    void operator()(const SetScreen &e) {
        host::setScreen(e.width, e.height);
        screen.width = e.width;
        screen.height = e.height;
    }
    void operator()(const SetCursor &e) { host::setCursor(e.x, e.y); }
    void operator()(const SetLeftButton &e) { host::setLeftButton(e.pressed); }
    void operator()(const SetMenu &e) { host::setMenuActive(e.active); }
    void operator()(const SetCanDraw &e) { host::setCanDraw(e.canDraw); }
    void operator()(const SetBeginRender &e) { host::setBeginRenderResult(e.result); }
    void operator()(const SetFontHeight &e) {
        host::setFontHeight(e.height);
        screen.fontHeight = e.height;
    }
    void operator()(const SetFontFails &e) { host::setFontCreationFails(e.fails); }

    void operator()(const Frames &e) {
        // Frame by frame, so that a long run keeps no pile of effects.
        for (uint32_t i = 0; i < e.count; i++) {
            host::runFrame();
            drain();
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

} // namespace

Picture play(const std::vector<Event> &events, Transcript &transcript) {
    Session session{transcript, {}, {}, {}};
    session.drain(); // whatever loading the plugin did
    for (const Event &e : events) {
        std::visit(session, e);
        session.drain();
    }
    transcript.flush();
    return session.picture;
}

} // namespace replay
