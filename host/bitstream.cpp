// The host's bit stream: bits are taken most significant first within each
// byte, and a read that needs more bits than remain writes nothing and keeps
// the read position.
#include "SAMPFUNCS_API.h"

#include <bit>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "the host runs on little-endian x86");

// The eight bytes from `at` as one number, the first byte in the top bits.
uint64_t loadEight(const unsigned char *at) {
    uint64_t v;
    std::memcpy(&v, at, 8);
    return __builtin_bswap64(v);
}

// Eight bytes of a stream of `size` bytes (at least eight) from byte
// `first` on, the first in the top bits. Near the stream's end the last
// eight bytes are loaded and moved up, so that no byte outside the stream
// is touched; the bits past its end read as zero.
uint64_t loadFrom(const unsigned char *data, uint32_t first, uint32_t size) {
    if (first + 8 <= size)
        return loadEight(data + first);
    return loadEight(data + size - 8) << (8 * (first + 8 - size));
}

// The top `n` bytes of `bits` (n at most 7) to `out`, the top one first.
void storeTop(uint64_t bits, unsigned char *out, uint32_t n) {
    uint64_t inMemoryOrder = __builtin_bswap64(bits);
    switch (n) {
    case 1:
        out[0] = static_cast<unsigned char>(inMemoryOrder);
        break;
    case 2:
        std::memcpy(out, &inMemoryOrder, 2);
        break;
    case 4:
        std::memcpy(out, &inMemoryOrder, 4);
        break;
    default:
        for (uint32_t i = 0; i < n; i++)
            out[i] = static_cast<unsigned char>(inMemoryOrder >> (8 * i));
    }
}

} // namespace

BitStream::BitStream(const unsigned char *data, uint32_t bitCount)
    : data_(data), bitCount_(bitCount), readOffset_(0) {}

void BitStream::ResetReadPointer() { readOffset_ = 0; }

void BitStream::IgnoreBits(int bitCount) {
    if (bitCount <= 0)
        return;
    uint32_t left = bitCount_ - readOffset_;
    readOffset_ += static_cast<uint32_t>(bitCount) < left ? static_cast<uint32_t>(bitCount) : left;
}

bool BitStream::Read(bool &bit) {
    if (readOffset_ >= bitCount_)
        return false;
    bit = (data_[readOffset_ >> 3] >> (7 - (readOffset_ & 7))) & 1;
    readOffset_++;
    return true;
}

// The reads that the fast path below does not take: streams of fewer than
// eight bytes, one byte at a time (the read fits, so a shifted byte's
// neighbour is inside the stream), and reads longer than seven bytes (the
// 96-bit vectors), four bytes at a time.
[[gnu::noinline]] static void copyLongOrShort(const unsigned char *data, uint32_t size,
                                              uint32_t first, uint32_t shift, uint32_t bytes,
                                              unsigned char *out) {
    if (size < 8) {
        const unsigned char *in = data + first;
        for (uint32_t i = 0; i < bytes; i++)
            out[i] = static_cast<unsigned char>(
                shift == 0 ? in[i] : (in[i] << shift) | (in[i + 1] >> (8 - shift)));
        return;
    }
    for (uint32_t done = 0; done < bytes; done += 4) {
        uint32_t n = bytes - done < 4 ? bytes - done : 4;
        storeTop(loadFrom(data, first + done, size) << shift, out + done, n);
    }
}

bool BitStream::ReadBits(unsigned char *out, int bitCount, bool /*alignRight*/) {
    // The members in locals: `out` may point anywhere, so the compiler
    // would otherwise load them again after every store.
    const unsigned char *const data = data_;
    const uint32_t offset = readOffset_;
    if (bitCount <= 0 || bitCount % 8 != 0)
        return false;
    const uint32_t wanted = static_cast<uint32_t>(bitCount);
    if (wanted > bitCount_ - offset)
        return false;
    readOffset_ = offset + wanted;
    const uint32_t first = offset >> 3;
    const uint32_t shift = offset & 7;
    const uint32_t size = (bitCount_ + 7) / 8; // bytes that hold the stream
    const uint32_t bytes = wanted / 8;
    // Whole bytes at once: eight stream bytes, shifted into place, hold up
    // to seven output bytes wherever the read starts within a byte.
    if (size >= 8 && bytes <= 7)
        storeTop(loadFrom(data, first, size) << shift, out, bytes);
    else
        copyLongOrShort(data, size, first, shift, bytes, out);
    return true;
}
