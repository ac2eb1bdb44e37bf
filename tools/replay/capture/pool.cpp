#include "pool.h"

#include "bits.h"

namespace capture {

uint32_t argbOf(uint32_t rgba) { return (rgba >> 8) | ((rgba & 0xFFu) << 24); }

std::optional<replay::SetPlayer> poolChangeOf(uint32_t rpcId, const unsigned char *data,
                                              uint32_t bits) {
    BitReader in(data, (bits + 7) / 8, bits);
    uint32_t id = 0;
    if (!in.u16(id))
        return std::nullopt;
    replay::SetPlayer change{static_cast<uint16_t>(id), std::nullopt, std::nullopt};
    // A name: a length byte, then that many Windows-1251 bytes.
    auto readName = [&in]() -> std::optional<std::string> {
        uint32_t length = 0;
        if (!in.byte(length) || in.remaining() < size_t{length} * 8)
            return std::nullopt;
        std::string name(length, '\0');
        for (uint32_t i = 0; i < length; i++) {
            uint32_t b = 0;
            in.byte(b);
            name[i] = static_cast<char>(b);
        }
        return name;
    };
    uint32_t colour = 0, ignored = 0;
    switch (rpcId) {
    case rpcPlayerJoin: { // id, colour, is-NPC byte, name
        if (!in.littleEndian(colour, 4) || !in.byte(ignored))
            return std::nullopt;
        std::optional<std::string> name = readName();
        if (!name)
            return std::nullopt;
        change.name = std::optional<std::string>(*name);
        change.colour = argbOf(colour);
        return change;
    }
    case rpcPlayerQuit: // id, reason: the slot is empty, it has no name
        change.name = std::optional<std::string>();
        return change;
    case rpcSetPlayerName: { // id, name, success byte
        std::optional<std::string> name = readName();
        if (!name)
            return std::nullopt;
        change.name = std::optional<std::string>(*name);
        return change;
    }
    case rpcSetPlayerColor:
        if (!in.littleEndian(colour, 4))
            return std::nullopt;
        change.colour = argbOf(colour);
        return change;
    case rpcPlayerStreamIn: {
        // id, team, skin, [custom skin: newer clients only], position,
        // angle, colour, fighting style, skills. The two layouts differ in
        // length: 400 bits without the custom skin, 432 with it.
        size_t before = bits == 400 ? 184 : bits == 432 ? 216 : 0;
        if (before == 0 || !in.skip(before - 16) || !in.littleEndian(colour, 4))
            return std::nullopt;
        change.colour = argbOf(colour);
        return change;
    }
    default:
        return std::nullopt;
    }
}

} // namespace capture
