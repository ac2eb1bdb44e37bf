// A trace's player-sync fields turned into the packet's fields as they
// stand on the wire.
#pragma once

#include "events.h"

#include "sync_packet.h"

namespace replay {

host::SyncPacket syncPacketOf(const Sync &fields);

// The health or armour nibble whose decoded value (0, 7, 14 ... 98, and 100
// for 15) is nearest to `percent`, ties to the larger.
uint8_t percentNibble(int percent);

} // namespace replay
