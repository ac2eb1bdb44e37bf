// The server's player-pool RPCs (join, leave, rename, recolour, stream-in)
// as changes of the host's player pool, so that warnings carry the names
// and colours the player saw.
#pragma once

#include "events.h"

#include <cstdint>
#include <optional>

namespace capture {

enum PoolRpc : uint32_t {
    rpcSetPlayerName = 11,
    rpcPlayerStreamIn = 32,
    rpcSetPlayerColor = 72,
    rpcPlayerJoin = 137,
    rpcPlayerQuit = 138,
};

// The pool change an RPC makes, given its parameters; nullopt for any other
// RPC or for parameters too short for it.
std::optional<replay::SetPlayer> poolChangeOf(uint32_t rpcId, const unsigned char *data,
                                              uint32_t bits);

// A colour as the server sends it (0xRRGGBBAA) as the game's 0xAARRGGBB.
uint32_t argbOf(uint32_t rgba);

} // namespace capture
