// A warning's evidence when the tool keeps only each player's latest sync
// packets and decodes them when the warning comes (RecentSyncs) must be what
// it is when every packet is judged as it comes (SuspectTracker).
#include "recent_syncs.h"
#include "suspect.h"

#include "sync_packet.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A small deterministic generator, the same on both targets.
struct Dice {
    uint32_t seed;
    uint32_t operator()(uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    }
};

void expectSame(const std::vector<replay::SuspectPacket> &kept,
                const std::vector<replay::SuspectPacket> &judged, int packet) {
    ASSERT_EQ(kept.size(), judged.size()) << "packet " << packet;
    for (size_t i = 0; i < kept.size(); i++) {
        const replay::SuspectPacket &a = kept[i], &b = judged[i];
        EXPECT_EQ(a.origin, b.origin) << "packet " << packet << ", evidence " << i;
        EXPECT_EQ(a.tick, b.tick);
        EXPECT_EQ(a.seconds, b.seconds);
        EXPECT_EQ(a.speed, b.speed);
        EXPECT_EQ(a.keys, b.keys);
        EXPECT_EQ(a.animationId, b.animationId);
        EXPECT_EQ(a.animationFlags, b.animationFlags);
        EXPECT_EQ(a.gapMs, b.gapMs) << "packet " << packet << ", evidence " << i;
    }
}

} // namespace

TEST(RecentSyncs, GiveTheEvidenceThatJudgingEveryPacketGives) {
    // Four players' packets interleaved around every threshold of the
    // test; among them packets the plugin drops (a dead player, an id of
    // 1000 or more, a packet cut short), sometimes in long bursts that fill
    // a player's list with nothing judged; and packets of another id.
    // Wherever a run reaches five, as a warning would, both must name the
    // same packets.
    replay::SuspectTracker tracker;
    replay::RecentSyncs recent;
    Dice dice{2024};
    const float speeds[] = {0.1f, 0.149f, 0.14900002f, 0.2f, 0.5f, 0.3f};
    uint32_t tick = 1000; // early: a player's first gap counts from 0
    int compared = 0;
    for (int i = 0; i < 200000; i++) {
        tick += dice(10) == 0 ? 300 : 10 * (1 + dice(6));
        host::SyncPacket s;
        s.playerId = static_cast<uint16_t>(dice(4));
        if (dice(200) == 0)
            s.playerId = static_cast<uint16_t>(1000 + dice(3));
        s.keys = static_cast<uint16_t>((dice(20) ? 0x08 : 0) | (dice(15) ? 0 : 0x20));
        s.velocityLength = speeds[dice(6)];
        s.velocityDirections[0] = host::unitWord(0.6);
        s.velocityDirections[1] = host::unitWord(0.8);
        s.velocityDirections[2] = host::unitWord(0);
        if (dice(2))
            s.animation = host::SyncPacket::Animation{static_cast<uint16_t>(dice(4) ? 1228 : 0),
                                                      static_cast<uint16_t>(dice(4) ? 0x8002 : 0)};
        if (dice(3))
            s.leftRight = static_cast<uint16_t>(dice(3));
        if (dice(3))
            s.upDown = 0xFF80;
        // Now and then a burst of a dead player's packets: more than a
        // list holds.
        int dead = dice(40) == 0   ? static_cast<int>(replay::RecentSyncs::perPlayer) + 5
                   : dice(30) == 0 ? 1
                                   : 0;
        for (int d = 0; d <= dead; d++) {
            host::SyncPacket sent = s;
            if (d < dead)
                sent.healthArmour = 0x0F;
            host::Packet p = host::encodeSync(sent);
            if (dice(100) == 0)
                p = host::truncated(p, 8 + dice(p.bitCount - 8));
            int id = dice(50) == 0 ? 206 : 207;
            uint64_t origin = static_cast<uint64_t>(i) * 1000 + static_cast<uint64_t>(d);
            double seconds = tick / 1000.0;
            replay::SyncStep step =
                tracker.packet(p.bytes.data(), p.bitCount, id, tick, origin, seconds);
            if (id == 207)
                (void)recent.keep(p.bytes.data(), p.bitCount, tick, origin, seconds);
            if (step.decoded && step.run >= 5) {
                expectSame(recent.evidence(step.player), tracker.evidence(step.player), i);
                compared++;
            }
        }
        if (::testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(compared, 500) << "the mix must reach runs of five";
}
