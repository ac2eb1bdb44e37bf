// The replay tool's sync encoder: bit patterns where the encoding is exact,
// and a round trip through the plugin's own decoder within the encoding's
// precision.
#include "sync_fields.h"

#include "net/net.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

using namespace replay;

namespace {

// Decodes `fields` the way the plugin's packet hook does.
PlayerSyncData roundTrip(const Sync &fields, bool &kept) {
    host::Packet packet = host::encodeSync(syncPacketOf(fields));
    BitStream stream(packet.bytes.data(), packet.bitCount);
    stream.IgnoreBits(8);
    PlayerSyncData data = {};
    PlayerId player = 0;
    kept = readPlayerSync(&stream, data, player);
    EXPECT_EQ(player, fields.player);
    return data;
}

} // namespace

TEST(ReplaySync, HealthAndArmourTakeTheNearestNibbleTiesToTheLarger) {
    EXPECT_EQ(percentNibble(0), 0);
    EXPECT_EQ(percentNibble(3), 0); // 0 is 3 away, 7 is 4
    EXPECT_EQ(percentNibble(4), 1); // 7 is 3 away
    EXPECT_EQ(percentNibble(7), 1);
    EXPECT_EQ(percentNibble(10), 1); // 7 and 14: 3 and 4 away
    EXPECT_EQ(percentNibble(11), 2);
    EXPECT_EQ(percentNibble(98), 14);
    EXPECT_EQ(percentNibble(99), 15); // 98 and 100 tie: the larger
    EXPECT_EQ(percentNibble(100), 15);

    Sync s;
    s.health = 50; // 49 (7) is 1 away, 56 (8) is 6
    s.armour = 100;
    EXPECT_EQ(syncPacketOf(s).healthArmour, 0x7F);
}

TEST(ReplaySync, VelocityIsItsLengthAndUnitWords) {
    Sync s;
    s.velocity[0] = 0.2;
    host::SyncPacket p = syncPacketOf(s);
    EXPECT_EQ(std::bit_cast<uint32_t>(p.velocityLength), std::bit_cast<uint32_t>(0.2f));
    EXPECT_EQ(p.velocityDirections[0], 65535); // (1 + 1) * 32767.5
    EXPECT_EQ(p.velocityDirections[1], 32768); // floor(32767.5 + 0.5)
    EXPECT_EQ(p.velocityDirections[2], 32768);

    s.velocity[0] = -3;
    s.velocity[1] = 4;
    p = syncPacketOf(s);
    EXPECT_EQ(p.velocityLength, 5.0f);
    EXPECT_EQ(p.velocityDirections[0], 13107); // floor(0.4 * 32767.5 + 0.5) = floor(13107.5)
    EXPECT_EQ(p.velocityDirections[1], 58982); // floor(1.8 * 32767.5 + 0.5) = floor(58982)

    Sync still;
    EXPECT_EQ(syncPacketOf(still).velocityLength, 0.0f);
    EXPECT_EQ(host::encodeSync(syncPacketOf(still)).bitCount,
              host::encodeSync(syncPacketOf(s)).bitCount - 48)
        << "a zero velocity is sent as its length alone";
}

TEST(ReplaySync, QuaternionIsSignBitsAndMagnitudes) {
    Sync s;
    s.quaternion[0] = -0.0;
    s.quaternion[1] = -0.5;
    s.quaternion[2] = 1.0;
    s.quaternion[3] = 0.0;
    host::SyncPacket p = syncPacketOf(s);
    EXPECT_TRUE(p.quaternionSigns[0]) << "-0.0 counts as negative";
    EXPECT_TRUE(p.quaternionSigns[1]);
    EXPECT_FALSE(p.quaternionSigns[2]);
    EXPECT_FALSE(p.quaternionSigns[3]);
    EXPECT_EQ(p.quaternionMagnitudes[0], 32768); // floor(32767.5 + 0.5)
    EXPECT_EQ(p.quaternionMagnitudes[1], 65535);
    EXPECT_EQ(p.quaternionMagnitudes[2], 0);
}

TEST(ReplaySync, FieldsComeBackThroughThePluginsDecoder) {
    Sync s;
    s.player = 999;
    s.keys = 0xBEEF;
    s.leftRight = 128;
    s.upDown = 65408;
    s.position[0] = 1544.5f;
    s.position[1] = -1675.25f;
    s.position[2] = 1e-30f;
    s.quaternion[0] = -0.5;
    s.quaternion[1] = 0.5;
    s.quaternion[2] = -0.5;
    s.quaternion[3] = 0.5;
    s.health = 63;
    s.armour = 14;
    s.weapon = 31;
    s.specialAction = 3;
    s.velocity[0] = 0.3;
    s.velocity[1] = -0.1;
    s.velocity[2] = 0.05;
    s.surf = Sync::Surf{412, {0.25f, -1.5f, 3.0f}};
    s.animation = Sync::Animation{1228, 0x8002};

    bool kept = false;
    PlayerSyncData d = roundTrip(s, kept);
    ASSERT_TRUE(kept);
    EXPECT_EQ(d.keys, 0xBEEF);
    EXPECT_EQ(d.leftRight, 128);
    EXPECT_EQ(d.upDown, 65408);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(std::bit_cast<uint32_t>(d.position[i]), std::bit_cast<uint32_t>(s.position[i]));
    // A magnitude word is within half a step of 1/65535.
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(d.quaternion[i], s.quaternion[i], 1e-4) << i;
    EXPECT_EQ(d.health, 63);
    EXPECT_EQ(d.armour, 14);
    EXPECT_EQ(d.weapon, 31);
    EXPECT_EQ(d.specialAction, 3);
    // A unit word is within half a step of 2/65535, times the length.
    double length = std::sqrt(0.3 * 0.3 + 0.1 * 0.1 + 0.05 * 0.05);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(d.velocity[i], s.velocity[i], length * 1.6e-5) << i;
    EXPECT_EQ(d.surfVehicleId, 412);
    EXPECT_EQ(d.surfOffset[1], -1.5f);
    EXPECT_EQ(d.animationId, 1228);
    EXPECT_EQ(d.animationFlags, -32766);
}

TEST(ReplaySync, WithoutTheOptionalBlocksTheDecoderSeesNoneOfThem) {
    Sync s;
    s.player = 4;
    bool kept = false;
    PlayerSyncData d = roundTrip(s, kept);
    ASSERT_TRUE(kept);
    EXPECT_EQ(d.health, 100);
    EXPECT_EQ(d.armour, 0);
    EXPECT_EQ(d.surfVehicleId, 0xFFFF) << "not surfing";
    EXPECT_EQ(d.animationId, 0);
    EXPECT_EQ(d.velocity[0], 0.0f);
    EXPECT_EQ(d.quaternion[0], 1.0f);

    s.health = 3; // nibble 0: a dead player's packet, which the plugin drops
    roundTrip(s, kept);
    EXPECT_FALSE(kept);
}

TEST(ReplaySync, TheFixedArrayEncoderWritesTheBitWritersBits) {
    host::SyncPacket none;
    host::SyncPacket every;
    every.playerId = 0x1234;
    every.leftRight = 0xFF80;
    every.upDown = 0x0081;
    every.keys = 0xA5C3;
    every.position[0] = -1.5f;
    every.position[2] = 3e38f;
    every.quaternionSigns[1] = every.quaternionSigns[3] = true;
    every.quaternionMagnitudes[0] = 0x8001;
    every.healthArmour = 0x3C;
    every.weapon = 0xFE;
    every.specialAction = 0x01;
    every.velocityLength = 0.75f;
    every.velocityDirections[2] = 0x7FFF;
    every.surf = host::SyncPacket::Surf{0xBEEF, {1.0f, -2.0f, 0.1f}};
    every.animation = host::SyncPacket::Animation{1189, 0x8002};
    for (const host::SyncPacket &p : {none, every}) {
        host::Packet expected = host::encodeSync(p);
        unsigned char bytes[host::maxSyncBytes];
        uint32_t bitCount = host::encodeSync(p, bytes);
        ASSERT_EQ(bitCount, expected.bitCount);
        EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + (bitCount + 7) / 8), expected.bytes);
    }
    EXPECT_EQ(host::encodeSync(every).bitCount, 472u) << "every optional part: the most bits";
}

TEST(ReplaySync, WordsRoundHalfUpAndClampAtBothEnds) {
    Sync s;
    s.quaternion[1] = 2.0;                 // beyond 1: the largest word
    s.quaternion[2] = 0.4999 / 65535;      // rounds to 0
    s.quaternion[3] = 0.5 / 65535 + 1e-15; // half and a little: 1
    host::SyncPacket p = syncPacketOf(s);
    EXPECT_EQ(p.quaternionMagnitudes[0], 65535);
    EXPECT_EQ(p.quaternionMagnitudes[1], 0);
    EXPECT_EQ(p.quaternionMagnitudes[2], 1);
    s.velocity[0] = -1; // (-1 + 1) * 32767.5 = 0
    EXPECT_EQ(syncPacketOf(s).velocityDirections[0], 0);
}
