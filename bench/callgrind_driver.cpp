// Instruction counts that do not depend on the machine's noise: runs the
// player-sync mix (packet_mix.h) through the plugin's packet hook, through
// the floor (the bare field reads, floor.h) and through a hook that returns
// at once, each as one batch between callgrind's client requests. Under
//   valgrind --tool=callgrind norvi_callgrind_driver [ROUNDS]
// each batch becomes a dump of its own ("sync-hook", "floor", "delivery",
// and for packets of other identifiers "other-hook" and "other-delivery");
// scripts/bench-callgrind.sh divides their totals by the packets delivered.
// Outside valgrind the requests do nothing and the driver just runs.
#include "packet_mix.h"
#include "scene.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(NORVI_HAVE_CALLGRIND_H)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name) (void)(name)
#endif

namespace {

void deliverMix(const bench::PacketMix &mix, int rounds) {
    for (int r = 0; r < rounds; r++)
        for (const bench::WirePacket &p : mix.packets)
            bench::deliver(p);
}

// One measured batch. Two rounds before it resolve the lazy bindings and
// make every player's earlier packet recent, as in the benchmarks.
void measure(const char *name, const bench::PacketMix &mix, int rounds) {
    deliverMix(mix, 2);
    CALLGRIND_ZERO_STATS;
    deliverMix(mix, rounds);
    CALLGRIND_DUMP_STATS_AT(name);
}

} // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 4;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: %s [ROUNDS]  (rounds of the 4096-packet mix, at least 1)\n",
                     argv[0]);
        return 2;
    }
    bench::PacketMix mix = bench::syncPacketMix();
    // As many other packets as sync packets, so that the counts divide alike.
    bench::PacketMix others = bench::otherPacketMix();
    bench::PacketMix otherMix;
    while (otherMix.packets.size() < mix.packets.size())
        otherMix.packets.insert(otherMix.packets.end(), others.packets.begin(),
                                others.packets.end());
    {
        bench::StartedPlugin scene;
        if (!scene.error.empty()) {
            std::fprintf(stderr, "error: %s\n", scene.error.c_str());
            return 1;
        }
        bench::spectate(bench::spectatedPlayer);
        measure("sync-hook", mix, rounds);
        for (const host::Effect &e : host::effects())
            if (std::holds_alternative<host::ChatLine>(e)) {
                std::fprintf(stderr, "error: the mix posted a warning\n");
                return 1;
            }
        measure("other-hook", otherMix, rounds);
    }
    {
        bench::GameFolder folder;
        bench::installFloorHook();
        measure("floor", mix, rounds);
    }
    {
        bench::GameFolder folder;
        bench::installPassingHook();
        measure("delivery", mix, rounds);
        measure("other-delivery", otherMix, rounds);
    }
    std::printf("packets per batch: %zu\n", mix.packets.size() * static_cast<size_t>(rounds));
    return 0;
}
