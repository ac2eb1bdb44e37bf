// The host's bit stream: bits are taken most significant first within each
// byte, and a read that needs more bits than remain writes nothing and keeps
// the read position.
#include "SAMPFUNCS_API.h"

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

bool BitStream::ReadBits(unsigned char *out, int bitCount, bool /*alignRight*/) {
    if (bitCount <= 0 || bitCount % 8 != 0)
        return false;
    uint32_t wanted = static_cast<uint32_t>(bitCount);
    if (wanted > bitCount_ - readOffset_)
        return false;
    const unsigned char *in = data_ + (readOffset_ >> 3);
    uint32_t shift = readOffset_ & 7;
    uint32_t bytes = wanted / 8;
    if (shift == 0) {
        for (uint32_t i = 0; i < bytes; i++)
            out[i] = in[i];
    } else {
        // Each output byte straddles two input bytes, both inside the
        // stream since the whole read fits.
        for (uint32_t i = 0; i < bytes; i++)
            out[i] = static_cast<unsigned char>((in[i] << shift) | (in[i + 1] >> (8 - shift)));
    }
    readOffset_ += wanted;
    return true;
}
