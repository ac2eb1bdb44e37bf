// What the readers of the two capture formats share: the magic numbers
// that tell them apart, and arithmetic on the fields of their headers.
#pragma once

#include <cstdint>

namespace capture::formats {

inline constexpr uint32_t pcapMicro = 0xA1B2C3D4, pcapNano = 0xA1B23C4D;
inline constexpr uint32_t sectionHeader = 0x0A0D0D0A, byteOrderMagic = 0x1A2B3C4D;
inline constexpr uint32_t interfaceBlock = 1, oldPacketBlock = 2, simplePacketBlock = 3,
                          enhancedPacketBlock = 6;

inline uint32_t swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
inline uint32_t littleU32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// a * b, held at the largest value instead of wrapping.
inline uint64_t saturatingMul(uint64_t a, uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}
inline uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

} // namespace capture::formats
