// The player sync packet's layout: which bits land in which field of the
// record, what the optional blocks do to the fields after them, and where
// the decoding stops.
#include "net/net.h"
#include "sync_packet.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

struct Decoded {
    PlayerSyncData sync = {};
    PlayerId player = 0;
    bool kept = false;
    uint32_t bitsRead = 0;
    uint32_t bitCount = 0;
};

Decoded decode(const host::Packet &packet) {
    BitStream stream(packet.bytes.data(), packet.bitCount);
    stream.IgnoreBits(8);
    Decoded d;
    d.kept = readPlayerSync(&stream, d.sync, d.player);
    d.bitsRead = stream.GetReadOffset();
    d.bitCount = packet.bitCount;
    return d;
}

Decoded decode(const host::SyncPacket &sync) { return decode(host::encodeSync(sync)); }

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

TEST(SyncLayout, WithoutOptionalBlocksTheKeysFollowTwoBitsAfterTheId) {
    host::SyncPacket p;
    p.playerId = 999;
    p.keys = 0xA5C3;
    p.position[0] = 1.5f;
    p.position[2] = -3.25f;
    p.weapon = 31;
    p.specialAction = 4;
    Decoded d = decode(p);
    ASSERT_TRUE(d.kept);
    EXPECT_EQ(d.player, 999);
    EXPECT_EQ(d.sync.leftRight, 0);
    EXPECT_EQ(d.sync.upDown, 0);
    EXPECT_EQ(d.sync.keys, 0xA5C3);
    EXPECT_EQ(bits(d.sync.position[0]), bits(1.5f));
    EXPECT_EQ(bits(d.sync.position[2]), bits(-3.25f));
    EXPECT_EQ(d.sync.weapon, 31);
    EXPECT_EQ(d.sync.specialAction, 4);
    // Not surfing: vehicle 0xFFFF and no offset. No animation block: both 0.
    EXPECT_EQ(d.sync.surfVehicleId, 0xFFFF);
    EXPECT_EQ(bits(d.sync.surfOffset[0]), 0u);
    EXPECT_EQ(d.sync.animationId, 0);
    EXPECT_EQ(d.sync.animationFlags, 0);
    EXPECT_EQ(d.bitsRead, d.bitCount);
}

TEST(SyncLayout, EveryOptionalBlockPresent) {
    host::SyncPacket p;
    p.playerId = 17;
    p.leftRight = 0xFF80;
    p.upDown = 0x0080;
    p.keys = 0x0028;
    p.quaternionMagnitudes[0] = 65535;
    p.velocityLength = 0.5f;
    p.velocityDirections[0] = 65535;
    p.velocityDirections[1] = 0;
    p.surf = host::SyncPacket::Surf{612, {1.0f, 2.0f, -4.0f}};
    p.animation = host::SyncPacket::Animation{1228, 0x8002};
    Decoded d = decode(p);
    ASSERT_TRUE(d.kept);
    EXPECT_EQ(d.sync.leftRight, 0xFF80);
    EXPECT_EQ(d.sync.upDown, 0x0080);
    EXPECT_EQ(d.sync.keys, 0x0028);
    EXPECT_EQ(bits(d.sync.quaternion[1]), bits(1.0f));
    EXPECT_EQ(bits(d.sync.velocity[0]), bits(0.5f));
    EXPECT_EQ(bits(d.sync.velocity[1]), bits(-0.5f));
    EXPECT_EQ(d.sync.surfVehicleId, 612);
    EXPECT_EQ(bits(d.sync.surfOffset[0]), bits(1.0f));
    EXPECT_EQ(bits(d.sync.surfOffset[1]), bits(2.0f));
    EXPECT_EQ(bits(d.sync.surfOffset[2]), bits(-4.0f));
    EXPECT_EQ(d.sync.animationId, 1228);
    EXPECT_EQ(d.sync.animationFlags, -32766);
    EXPECT_EQ(d.bitsRead, d.bitCount);
}

TEST(SyncLayout, ZeroVelocityTakesOnlyItsMagnitude) {
    host::SyncPacket p;
    p.velocityLength = -0.0f;
    p.surf = host::SyncPacket::Surf{7, {0.0f, 0.0f, 0.0f}};
    p.animation = host::SyncPacket::Animation{0x1234, 0x5678};
    Decoded d = decode(p);
    EXPECT_EQ(bits(d.sync.velocity[0]), 0u);
    EXPECT_EQ(d.sync.surfVehicleId, 7);
    EXPECT_EQ(d.sync.animationId, 0x1234);
    EXPECT_EQ(d.sync.animationFlags, 0x5678);
    EXPECT_EQ(d.bitsRead, d.bitCount);
}

TEST(SyncLayout, HealthAndArmourNibbles) {
    struct Case {
        uint8_t byte, health, armour;
    };
    for (Case c : {Case{0xF0, 100, 0}, Case{0xFF, 100, 100}, Case{0x2E, 14, 98}, Case{0x10, 7, 0},
                   Case{0xE1, 98, 7}}) {
        host::SyncPacket p;
        p.healthArmour = c.byte;
        Decoded d = decode(p);
        EXPECT_TRUE(d.kept) << int(c.byte);
        EXPECT_EQ(d.sync.health, c.health) << int(c.byte);
        EXPECT_EQ(d.sync.armour, c.armour) << int(c.byte);
    }
}

TEST(SyncLayout, ZeroHealthNibbleStopsRightAfterTheByte) {
    host::SyncPacket p;
    p.healthArmour = 0x0F;
    p.weapon = 9;
    p.animation = host::SyncPacket::Animation{1228, 0x8002};
    Decoded d = decode(p);
    EXPECT_FALSE(d.kept);
    EXPECT_EQ(d.sync.weapon, 0);
    EXPECT_EQ(d.sync.animationId, 0);
    EXPECT_EQ(d.bitsRead, 8u + 16 + 2 + 16 + 96 + 52 + 8);
}

TEST(SyncLayout, PlayerIdsFromOneThousandStopAfterTheId) {
    for (uint16_t id : {uint16_t(1000), uint16_t(1003), uint16_t(65535)}) {
        host::SyncPacket p;
        p.playerId = id;
        p.keys = 0xFFFF;
        Decoded d = decode(p);
        EXPECT_FALSE(d.kept) << id;
        EXPECT_EQ(d.sync.keys, 0) << id;
        EXPECT_EQ(d.bitsRead, 24u) << id;
    }
}

TEST(SyncLayout, ShortPacketsLeaveUnreachedFieldsZero) {
    host::SyncPacket p;
    p.playerId = 5;
    p.keys = 0x0008;
    p.healthArmour = 0xFF;
    p.weapon = 24;
    p.specialAction = 3;
    p.velocityLength = 1.0f;
    p.animation = host::SyncPacket::Animation{1228, 0x8002};
    host::Packet whole = host::encodeSync(p);

    // Cut inside the velocity directions: the velocity codec fails as a whole.
    const uint32_t upToVelocity = 8 + 16 + 2 + 16 + 96 + 52 + 8 + 8 + 8 + 32;
    Decoded d = decode(host::truncated(whole, upToVelocity + 40));
    EXPECT_TRUE(d.kept);
    EXPECT_EQ(d.sync.specialAction, 3);
    EXPECT_EQ(bits(d.sync.velocity[0]), 0u);
    EXPECT_EQ(bits(d.sync.velocity[2]), 0u);
    EXPECT_LE(d.bitsRead, d.bitCount);

    // Cut right after the velocity: the surfing bit is never reached.
    d = decode(host::truncated(whole, upToVelocity + 48));
    EXPECT_EQ(bits(d.sync.velocity[0]), 0x37800000u); // 2^-16
    EXPECT_EQ(d.sync.surfVehicleId, 0);
    EXPECT_EQ(d.sync.animationId, 0);
    EXPECT_EQ(d.bitsRead, d.bitCount);

    // Cut inside the animation block.
    d = decode(host::truncated(whole, whole.bitCount - 8));
    EXPECT_EQ(d.sync.surfVehicleId, 0xFFFF);
    EXPECT_EQ(d.sync.animationId, 1228);
    EXPECT_EQ(d.sync.animationFlags, 0);
    EXPECT_EQ(d.bitsRead, d.bitCount - 8);

    // Cut before the health byte: health reads as 0 and the packet is dropped.
    d = decode(host::truncated(whole, 8 + 16 + 2 + 16 + 96 + 52 + 4));
    EXPECT_FALSE(d.kept);
    EXPECT_EQ(d.sync.keys, 0x0008);
    EXPECT_EQ(d.bitsRead, d.bitCount - 4);
}

} // namespace
