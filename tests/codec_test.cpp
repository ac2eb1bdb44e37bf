// The three field codecs of the player sync packet, checked bit for bit on
// streams written by the packet builder.
#include "net/net.h"
#include "sync_packet.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

// A stream over the writer's bits; keeps the bytes alive with it.
struct Stream {
    explicit Stream(const host::BitWriter &writer) : packet(writer.finish()) {}
    host::Packet packet;
    BitStream stream{packet.bytes.data(), packet.bitCount};
};

const float sentinel = 42.0f;

float unitFloat(uint16_t u) {
    host::BitWriter w;
    w.u16(u);
    Stream s(w);
    float out = sentinel;
    EXPECT_TRUE(readUnitFloat16(&s.stream, out));
    EXPECT_EQ(s.stream.GetReadOffset(), 16u);
    return out;
}

TEST(UnitFloat16, EndsAndMiddleMapOntoMinusOneToOne) {
    EXPECT_EQ(bits(unitFloat(0)), 0xBF800000u);     // -1.0
    EXPECT_EQ(bits(unitFloat(65535)), 0x3F800000u); // 1.0
    EXPECT_EQ(bits(unitFloat(32767)), 0xB7800000u); // -1.52587890625e-05
    EXPECT_EQ(bits(unitFloat(32768)), 0x37800000u); // +1.52587890625e-05
}

TEST(UnitFloat16, RoundsTheProductToSinglePrecisionBeforeSubtracting) {
    const double factor = std::bit_cast<float>(0x38000080u);
    int differsFromOneRounding = 0;
    for (uint32_t u = 0; u <= 65535; u++) {
        // Each single-precision step done exactly in double, then rounded.
        float product = static_cast<float>(u * factor);
        float expected = static_cast<float>(static_cast<double>(product) - 1.0);
        float got = unitFloat(static_cast<uint16_t>(u));
        ASSERT_EQ(bits(got), bits(expected)) << "u=" << u;
        ASSERT_NE(got, 0.0f) << "u=" << u;
        if (bits(got) != bits(static_cast<float>(u * factor - 1.0)))
            differsFromOneRounding++;
    }
    // The intermediate rounding matters: a fused computation would differ.
    EXPECT_GT(differsFromOneRounding, 0);
}

TEST(UnitFloat16, ShortStreamLeavesTheOutputAndPosition) {
    host::BitWriter w;
    w.bits(0xFFFF, 15);
    Stream s(w);
    float out = sentinel;
    EXPECT_FALSE(readUnitFloat16(&s.stream, out));
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(s.stream.GetReadOffset(), 0u);
}

struct Quaternion {
    float w = sentinel, x = sentinel, y = sentinel, z = sentinel;
    bool ok = false;
};

Quaternion quaternion(bool sw, bool sx, bool sy, bool sz, uint16_t ux, uint16_t uy, uint16_t uz) {
    host::BitWriter w;
    w.bit(sw);
    w.bit(sx);
    w.bit(sy);
    w.bit(sz);
    w.u16(ux);
    w.u16(uy);
    w.u16(uz);
    Stream s(w);
    Quaternion q;
    q.ok = readUnitQuaternion(&s.stream, q.w, q.x, q.y, q.z);
    EXPECT_EQ(s.stream.GetReadOffset(), 52u);
    return q;
}

TEST(UnitQuaternion, ZeroMagnitudesGiveAUnitWWithItsSign) {
    Quaternion q = quaternion(false, false, false, false, 0, 0, 0);
    EXPECT_TRUE(q.ok);
    EXPECT_EQ(bits(q.w), 0x3F800000u);
    EXPECT_EQ(bits(q.x), 0u);
    EXPECT_EQ(bits(q.y), 0u);
    EXPECT_EQ(bits(q.z), 0u);

    q = quaternion(true, true, false, true, 0, 0, 0);
    EXPECT_EQ(bits(q.w), 0xBF800000u); // -1.0
    EXPECT_EQ(bits(q.x), 0x80000000u); // -0.0: the sign bit flipped on a zero
    EXPECT_EQ(bits(q.y), 0u);
    EXPECT_EQ(bits(q.z), 0x80000000u);
}

TEST(UnitQuaternion, FullMagnitudeIsOneAndOverlongVectorsGiveAZeroW) {
    Quaternion q = quaternion(false, false, true, false, 65535, 0, 0);
    EXPECT_EQ(bits(q.x), 0x3F800000u);
    EXPECT_EQ(bits(q.y), 0x80000000u);
    EXPECT_EQ(bits(q.w), 0u); // 1 - 1 - 0 - 0

    // Squares adding up to more than 1: w is clamped to zero, keeping its sign.
    q = quaternion(false, true, true, false, 65535, 65535, 40000);
    EXPECT_EQ(bits(q.x), 0xBF800000u);
    EXPECT_EQ(bits(q.y), 0xBF800000u);
    EXPECT_EQ(bits(q.w), 0u);
    q = quaternion(true, false, false, false, 50000, 50000, 50000);
    EXPECT_EQ(bits(q.w), 0x80000000u);
}

TEST(UnitQuaternion, MagnitudesScaleInDoubleAndWInSinglePrecision) {
    const double factor = std::bit_cast<double>(0x3EF0001000100010ull);
    EXPECT_EQ(factor, 1.5259021896696422e-05);
    for (uint32_t u = 0; u <= 65535; u += 7) {
        uint16_t ux = static_cast<uint16_t>(u), uy = static_cast<uint16_t>(65535 - u),
                 uz = static_cast<uint16_t>(u / 3);
        Quaternion q = quaternion(false, false, false, false, ux, uy, uz);
        float x = static_cast<float>(ux * factor);
        float y = static_cast<float>(uy * factor);
        float z = static_cast<float>(uz * factor);
        // Single-precision steps, each done exactly in double and rounded.
        auto sq = [](float v) { return static_cast<float>(static_cast<double>(v) * v); };
        float rest = static_cast<float>(1.0 - sq(x));
        rest = static_cast<float>(static_cast<double>(rest) - sq(y));
        rest = static_cast<float>(static_cast<double>(rest) - sq(z));
        float w = rest > 0.0f ? static_cast<float>(std::sqrt(static_cast<double>(rest))) : 0.0f;
        ASSERT_EQ(bits(q.x), bits(x)) << u;
        ASSERT_EQ(bits(q.y), bits(y)) << u;
        ASSERT_EQ(bits(q.z), bits(z)) << u;
        ASSERT_EQ(bits(q.w), bits(w)) << u;
    }
}

TEST(UnitQuaternion, ShortStreamLeavesAllFourOutputs) {
    host::BitWriter w;
    w.bits(0xF, 4);
    w.u16(1);
    w.u16(2);
    w.u8(3); // the third magnitude is cut short
    Stream s(w);
    Quaternion q;
    EXPECT_FALSE(readUnitQuaternion(&s.stream, q.w, q.x, q.y, q.z));
    EXPECT_EQ(q.w, sentinel);
    EXPECT_EQ(q.x, sentinel);
    EXPECT_EQ(q.y, sentinel);
    EXPECT_EQ(q.z, sentinel);
}

struct Vector {
    float x = sentinel, y = sentinel, z = sentinel;
    bool ok = false;
    uint32_t bitsRead = 0;
};

Vector scaledVector(const host::BitWriter &w) {
    Stream s(w);
    Vector v;
    v.ok = readScaledVector(&s.stream, v.x, v.y, v.z);
    v.bitsRead = s.stream.GetReadOffset();
    return v;
}

host::BitWriter vectorBits(float magnitude, uint16_t dx, uint16_t dy, uint16_t dz) {
    host::BitWriter w;
    w.f32(magnitude);
    w.u16(dx);
    w.u16(dy);
    w.u16(dz);
    return w;
}

TEST(ScaledVector, ZeroMagnitudeIsTheWholeVector) {
    for (float zero : {0.0f, -0.0f}) {
        Vector v = scaledVector(vectorBits(zero, 65535, 65535, 65535));
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.bitsRead, 32u);
        EXPECT_EQ(bits(v.x), 0u);
        EXPECT_EQ(bits(v.y), 0u);
        EXPECT_EQ(bits(v.z), 0u);
    }
}

TEST(ScaledVector, DirectionsAreScaledByTheMagnitude) {
    Vector v = scaledVector(vectorBits(2.0f, 0, 65535, 32768));
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.bitsRead, 80u);
    EXPECT_EQ(bits(v.x), bits(-2.0f));
    EXPECT_EQ(bits(v.y), bits(2.0f));
    EXPECT_EQ(bits(v.z), 0x38000000u); // 2^-15

    // Each component is rounded once, to single precision.
    const float m = 0.1f;
    const double factor = std::bit_cast<float>(0x38000080u);
    v = scaledVector(vectorBits(m, 1000, 40000, 65000));
    uint16_t words[3] = {1000, 40000, 65000};
    float got[3] = {v.x, v.y, v.z};
    for (int i = 0; i < 3; i++) {
        float unit = static_cast<float>(static_cast<float>(words[i] * factor) - 1.0);
        EXPECT_EQ(bits(got[i]), bits(static_cast<float>(static_cast<double>(unit) * m))) << i;
    }
}

TEST(ScaledVector, NaNMagnitudeIsNotZeroAndCarriesDirections) {
    Vector v = scaledVector(vectorBits(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0));
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.bitsRead, 80u);
    EXPECT_TRUE(std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z));
}

TEST(ScaledVector, ShortStreamLeavesTheOutputs) {
    host::BitWriter magnitudeOnly;
    magnitudeOnly.f32(1.0f);
    magnitudeOnly.u16(0);
    magnitudeOnly.u16(0);
    host::BitWriter shortMagnitude;
    shortMagnitude.bits(0, 31);
    for (const host::BitWriter &w : {magnitudeOnly, shortMagnitude}) {
        Vector v = scaledVector(w);
        EXPECT_FALSE(v.ok);
        EXPECT_EQ(v.x, sentinel);
        EXPECT_EQ(v.y, sentinel);
        EXPECT_EQ(v.z, sentinel);
    }
}

} // namespace
