// The incoming-packet hook on arbitrary packets: raw bytes with arbitrary
// identifiers (207 most of the time) and well-formed player-sync packets
// with fuzzed fields, between clock moves and spectate changes, many per
// input, so that suspect runs and the warning throttle are reached.
// Invariants: the hook lets every packet pass; packets never change the
// spectate target; the per-player tables are never touched at 1000 or
// above; every chat line is a warning, and no player is warned about twice
// within 8500 ms.
#include "fuzz_plugin.h"

#include "net/net.h"
#include "sync_packet.h"

#include <cstring>
#include <map>
#include <string>

namespace {

std::map<int, DWORD> lastWarning; // player id -> tick of the latest warning
unsigned long warningsSeen = 0;

// With NORVI_FUZZ_STATS set, tells at exit how many warnings the run
// reached, to show that the inputs get as far as the throttle.
void reportAtExit() {
    if (std::getenv("NORVI_FUZZ_STATS"))
        std::fprintf(stderr, "warnings posted: %lu\n", warningsSeen);
}

bool tablesUntouchedAbovePlayers() {
    for (int p = 1000; p < 1004; p++)
        if (lastSyncTick[p] || lastJumpTick[p] || suspectCount[p] || lastWarnTick[p])
            return false;
    return true;
}

void checkWarnings() {
    // "[norvi warnings]: {rrggbb}P[id] " then "возможно SprintHook"
    static const std::string prefix = "[norvi warnings]: {";
    for (const host::Effect &effect : host::effects()) {
        const auto *line = std::get_if<host::ChatLine>(&effect);
        FUZZ_CHECK(line != nullptr);
        FUZZ_CHECK(line->colour == 0x00FF2B2B);
        FUZZ_CHECK(line->text.compare(0, prefix.size(), prefix) == 0);
        size_t open = line->text.find("}P[");
        FUZZ_CHECK(open != std::string::npos);
        int player = std::atoi(line->text.c_str() + open + 3);
        FUZZ_CHECK(player >= 0 && player < 1000);
        auto previous = lastWarning.find(player);
        if (previous != lastWarning.end())
            FUZZ_CHECK(host::tick() - previous->second >= 8500);
        lastWarning[player] = host::tick();
        warningsSeen++;
    }
    host::clearEffects();
}

void deliverChecked(const host::Packet &packet, int id) {
    int16_t target = spectateTarget;
    FUZZ_CHECK(host::deliverPacket(packet.bytes.data(), packet.bitCount, id));
    FUZZ_CHECK(spectateTarget == target);
    checkWarnings();
}

float fuzzFloat(Input &in) {
    uint32_t bits = in.dword();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

host::SyncPacket fuzzSync(Input &in) {
    host::SyncPacket s;
    uint8_t shape = in.byte();
    // Mostly a few players, so that runs build up; sometimes any id.
    s.playerId = (shape & 0x80) ? in.word() : in.byte() % 4;
    if (shape & 0x01)
        s.leftRight = in.word();
    if (shape & 0x02)
        s.upDown = in.word();
    s.keys = in.word();
    s.healthArmour = in.byte();
    s.velocityLength = (shape & 0x04) ? fuzzFloat(in) : static_cast<float>(in.byte()) / 8.0f;
    for (uint16_t &d : s.velocityDirections)
        d = in.word();
    for (uint16_t &m : s.quaternionMagnitudes)
        m = in.word();
    if (shape & 0x08)
        s.surf = host::SyncPacket::Surf{in.word(), {0, 0, 0}};
    if (shape & 0x10)
        s.animation = host::SyncPacket::Animation{in.word(), in.word()};
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool named = false;
    startPluginOnce();
    if (!named) {
        std::atexit(reportAtExit);
        for (int p = 0; p < 1000; p++)
            host::setPlayer(p, "P", 0xFF000000u | static_cast<uint32_t>(p) * 2654435761u);
        named = true;
    }
    Input in(data, size);
    while (!in.empty()) {
        switch (in.byte() % 8) {
        case 0:
            // Ages are unsigned differences, in the plugin and here alike,
            // so the history holds across any jump of the clock.
            host::setTick(in.dword());
            break;
        case 1:
            host::advanceTick(static_cast<DWORD>(in.byte()) * 8);
            break;
        case 2: {
            unsigned char id[2] = {in.byte(), in.byte()};
            host::deliverRpc(126, id, 16);
            break;
        }
        case 3:
        case 4: {
            const uint8_t *bytes = nullptr;
            size_t length = in.take(in.byte() % 48, &bytes);
            uint8_t idChoice = in.byte();
            int id = idChoice < 0xE0 ? 207 : idChoice;
            host::Packet packet{std::vector<unsigned char>(bytes, bytes + length),
                                static_cast<uint32_t>(length * 8)};
            if (!packet.bytes.empty())
                packet.bytes[0] = static_cast<unsigned char>(id);
            deliverChecked(packet, id);
            break;
        }
        default: {
            host::Packet packet = host::encodeSync(fuzzSync(in));
            // Sometimes cut short, anywhere.
            uint8_t cut = in.byte();
            if (cut < 0x40 && packet.bitCount > cut)
                packet.bitCount -= cut;
            deliverChecked(packet, 207);
            break;
        }
        }
        FUZZ_CHECK(tablesUntouchedAbovePlayers());
    }
    return 0;
}
