// The host's bit stream copies whole bytes at once; these compare it with
// the plain definition, one bit at a time, most significant bit first.
#include "SAMPFUNCS_API.h"
#include "sync_packet.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Bit `index` of `data`, counted from the most significant bit of byte 0.
int bitAt(const std::vector<unsigned char> &data, uint32_t index) {
    return (data[index / 8] >> (7 - index % 8)) & 1;
}

std::vector<unsigned char> expectedBytes(const std::vector<unsigned char> &data, uint32_t from,
                                         uint32_t bytes) {
    std::vector<unsigned char> out(bytes, 0);
    for (uint32_t i = 0; i < bytes * 8; i++)
        out[i / 8] = static_cast<unsigned char>(out[i / 8] | bitAt(data, from + i) << (7 - i % 8));
    return out;
}

std::vector<unsigned char> pattern(size_t size) {
    std::vector<unsigned char> data(size);
    uint32_t x = 0x9E3779B9u;
    for (unsigned char &b : data) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    return data;
}

TEST(BitStream, ReadsEveryWidthAtEveryBitOffsetAsTheBitsStand) {
    std::vector<unsigned char> data = pattern(24);
    const uint32_t streamBits = static_cast<uint32_t>(data.size() * 8);
    for (uint32_t bytes : {1u, 2u, 4u, 7u, 8u, 12u, 15u}) {
        for (uint32_t offset = 0; offset + bytes * 8 <= streamBits; offset++) {
            BitStream stream(data.data(), streamBits);
            stream.IgnoreBits(static_cast<int>(offset));
            std::vector<unsigned char> out(bytes, 0);
            ASSERT_TRUE(stream.ReadBits(out.data(), static_cast<int>(bytes * 8)));
            ASSERT_EQ(out, expectedBytes(data, offset, bytes))
                << bytes << " bytes at bit " << offset;
            ASSERT_EQ(stream.GetReadOffset(), offset + bytes * 8);
        }
    }
}

TEST(BitStream, ReadsUpToTheLastBitOfAStreamThatEndsInsideAByte) {
    // 20 bits of three bytes: the read may use the bits of the last byte
    // that belong to the stream, and the ones after them must not leak in.
    std::vector<unsigned char> data = {0xAB, 0xCD, 0xEF};
    BitStream stream(data.data(), 20);
    stream.IgnoreBits(4);
    unsigned char out[2] = {0, 0};
    ASSERT_TRUE(stream.ReadBits(out, 16));
    EXPECT_EQ(out[0], 0xBC);
    EXPECT_EQ(out[1], 0xDE);
    EXPECT_EQ(stream.GetReadOffset(), 20u);
}

TEST(BitStream, AReadPastTheEndWritesNothingAndKeepsThePosition) {
    std::vector<unsigned char> data = pattern(5);
    for (uint32_t offset : {0u, 3u, 8u, 17u}) {
        BitStream stream(data.data(), 40);
        stream.IgnoreBits(static_cast<int>(offset));
        unsigned char out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        uint32_t tooMany = (40 - offset) / 8 + 1;
        EXPECT_FALSE(stream.ReadBits(out, static_cast<int>(tooMany * 8)));
        EXPECT_EQ(stream.GetReadOffset(), offset);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(out[i], i + 1);
    }
}

TEST(BitStream, OnlyWholeBytesAreRead) {
    std::vector<unsigned char> data = pattern(4);
    BitStream stream(data.data(), 32);
    unsigned char out[4] = {0, 0, 0, 0};
    EXPECT_FALSE(stream.ReadBits(out, 12));
    EXPECT_FALSE(stream.ReadBits(out, 0));
    EXPECT_EQ(stream.GetReadOffset(), 0u);
}

TEST(BitWriter, WritesEachValueMostSignificantBitFirstAtAnyOffset) {
    // Values of every width from 1 to 32 bits, one after another, so that
    // they start at every offset within a byte; read back one bit at a time.
    host::BitWriter writer;
    std::vector<std::pair<uint32_t, int>> written;
    uint32_t x = 12345u;
    for (int round = 0; round < 3; round++)
        for (int width = 1; width <= 32; width++) {
            x = x * 1664525u + 1013904223u;
            uint32_t value = width == 32 ? x : x & ((1u << width) - 1u);
            writer.bits(value, width);
            written.emplace_back(value, width);
        }
    host::Packet packet = writer.finish();
    ASSERT_EQ(packet.bytes.size(), (packet.bitCount + 7) / 8);
    BitStream stream(packet.bytes.data(), packet.bitCount);
    for (const auto &[value, width] : written) {
        uint32_t read = 0;
        for (int i = 0; i < width; i++) {
            bool bit = false;
            ASSERT_TRUE(stream.Read(bit));
            read = read << 1 | (bit ? 1u : 0u);
        }
        ASSERT_EQ(read, value) << width << " bits";
    }
    EXPECT_EQ(stream.GetReadOffset(), packet.bitCount);
}

} // namespace
