// The three compressed fields of the player sync packet. The arithmetic is
// bit-exact: every step is rounded in the precision written here, so both
// builds and the sending client agree on every bit.
#include "net/net.h"

#include <bit>
#include <cmath>

// 2/65535 rounded to single precision.
static const float unitFloatFactor = std::bit_cast<float>(0x38000080u);
// 1/65535 in double precision.
static const double quaternionFactor = std::bit_cast<double>(0x3EF0001000100010ull);

// -value by flipping the sign bit alone, so that 0.0 turns into -0.0.
static float flipSign(float value) {
    return std::bit_cast<float>(std::bit_cast<uint32_t>(value) ^ 0x80000000u);
}

static bool readWord(BitStream *stream, uint16_t &word) {
    return stream->ReadBits(reinterpret_cast<unsigned char *>(&word), 16, true);
}

bool readUnitFloat16(BitStream *stream, float &out) {
    uint16_t u = 0;
    if (!readWord(stream, u))
        return false;
    // The product is rounded to a float before 1 is subtracted: 0 gives -1,
    // 65535 gives 1 and nothing gives exactly 0.
    float scaled = static_cast<float>(u) * unitFloatFactor;
    out = scaled - 1.0f;
    return true;
}

bool readUnitQuaternion(BitStream *stream, float &w, float &x, float &y, float &z) {
    bool signW = false, signX = false, signY = false, signZ = false;
    stream->Read(signW);
    stream->Read(signX);
    stream->Read(signY);
    stream->Read(signZ);
    uint16_t ux = 0, uy = 0, uz = 0;
    readWord(stream, ux);
    readWord(stream, uy);
    // The reads run in order, so a stream that held the third held all.
    if (!readWord(stream, uz))
        return false;

    float qx = static_cast<float>(ux * quaternionFactor);
    float qy = static_cast<float>(uy * quaternionFactor);
    float qz = static_cast<float>(uz * quaternionFactor);
    if (signX)
        qx = flipSign(qx);
    if (signY)
        qy = flipSign(qy);
    if (signZ)
        qz = flipSign(qz);

    // w follows from |q| = 1; rounding can push the rest below zero.
    float rest = 1.0f - qx * qx;
    rest = rest - qy * qy;
    rest = rest - qz * qz;
    float qw = std::sqrt(rest > 0.0f ? rest : 0.0f);
    if (signW)
        qw = flipSign(qw);

    w = qw;
    x = qx;
    y = qy;
    z = qz;
    return true;
}

bool readScaledVector(BitStream *stream, float &x, float &y, float &z) {
    float magnitude = 0.0f;
    if (!stream->ReadBits(reinterpret_cast<unsigned char *>(&magnitude), 32, true))
        return false;
    // A zero vector is sent as its magnitude alone (-0.0 too; a NaN is not
    // zero and carries directions).
    if (magnitude == 0.0f) {
        x = 0.0f;
        y = 0.0f;
        z = 0.0f;
        return true;
    }
    float dx = 0.0f, dy = 0.0f, dz = 0.0f;
    readUnitFloat16(stream, dx);
    readUnitFloat16(stream, dy);
    if (!readUnitFloat16(stream, dz))
        return false;
    x = dx * magnitude;
    y = dy * magnitude;
    z = dz * magnitude;
    return true;
}
