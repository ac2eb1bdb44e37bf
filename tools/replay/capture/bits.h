// Reading the game's network bit streams: bits run from the most
// significant bit of each byte down, and an integer wider than a byte is
// its bytes lowest first, each byte as eight bits in that order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace capture {

// The fields both readers below read through their bits(): bytes, integers
// of whole bytes lowest first, and compressed integers.
template <class Reader> class Fields {
  public:
    bool byte(uint32_t &out) { return self().bits(out, 8); }
    // `bytes` (1 to 4) whole bytes, lowest first.
    bool littleEndian(uint32_t &out, unsigned bytes) {
        uint32_t inOrder = 0;
        if (!self().bits(inOrder, 8 * bytes))
            return false;
        out = 0;
        for (unsigned i = 0; i < bytes; i++, inOrder >>= 8)
            out = (out << 8) | (inOrder & 0xFFu);
        return true;
    }
    bool u16(uint32_t &out) { return littleEndian(out, 2); }

    // An unsigned integer of `width` bytes written compressed: for each
    // upper byte, from the top, a 1 bit says it is zero; a 0 bit is followed
    // by that byte and every lower one. Below them a 1 bit and four bits
    // give a low byte under 16, a 0 bit and eight bits any other.
    bool compressed(uint32_t &out, unsigned width) {
        for (unsigned j = width - 1; j >= 1; j--) {
            uint32_t zero = 0;
            if (!self().bits(zero, 1))
                return false;
            if (!zero)
                return littleEndian(out, j + 1);
        }
        uint32_t small = 0;
        if (!self().bits(small, 1))
            return false;
        return small ? self().bits(out, 4) : byte(out);
    }

  private:
    Reader &self() { return static_cast<Reader &>(*this); }
};

class BitReader : public Fields<BitReader> {
  public:
    BitReader(const unsigned char *data, size_t bytes)
        : data_(data), bytes_(bytes), end_(bytes * 8) {}
    BitReader(const unsigned char *data, size_t bytes, size_t bitEnd)
        : data_(data), bytes_(bytes), end_(bitEnd < bytes * 8 ? bitEnd : bytes * 8) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return end_ - pos_; }

    // `count` (at most 32) bits as a number, the first bit most significant.
    bool bits(uint32_t &out, unsigned count) {
        if (count > remaining())
            return false;
        if (count == 0) {
            out = 0;
            return true;
        }
        // Every message header of every datagram is read this way, so the
        // bytes that hold the bits are taken as one word: eight at once
        // where the data goes on that far, else just those that hold them
        // (the last of them lies inside the data, as the bits end at or
        // before its end).
        size_t first = pos_ >> 3;
        unsigned shift = pos_ & 7;
        if (first + 8 <= bytes_) {
            uint64_t word = 0;
            std::memcpy(&word, data_ + first, 8);
            word = bigEndian(word);
            out = static_cast<uint32_t>((word << shift) >> (64 - count));
        } else {
            size_t last = (pos_ + count - 1) >> 3;
            uint64_t word = 0;
            for (size_t i = first; i <= last; i++)
                word = (word << 8) | data_[i];
            auto after = static_cast<unsigned>((last + 1) * 8 - (pos_ + count));
            out = static_cast<uint32_t>((word >> after) & ((uint64_t{1} << count) - 1));
        }
        pos_ += count;
        return true;
    }

    // The bits from the read position as one word, the first at the top,
    // without moving; returns how many of them are the stream's: none
    // where eight bytes from the position's byte are not all in the data,
    // else 57 to 64, as far as the stream goes.
    unsigned peek(uint64_t &word) const {
        size_t first = pos_ >> 3;
        if (first + 8 > bytes_)
            return 0;
        std::memcpy(&word, data_ + first, 8);
        unsigned shift = pos_ & 7;
        word = bigEndian(word) << shift;
        size_t there = remaining() < 64 ? remaining() : 64;
        return static_cast<unsigned>(there < 64 - shift ? there : 64 - shift);
    }

    // Moves to the next whole byte (no move when already on one).
    void align() {
        size_t next = (pos_ + 7) & ~static_cast<size_t>(7);
        pos_ = next < end_ ? next : end_;
    }
    bool skip(size_t count) {
        if (count > remaining())
            return false;
        pos_ += count;
        return true;
    }

    // Copies `count` bits to `out` (ceil(count / 8) bytes), the first bit
    // into the top of out[0]; the bits after them in the last byte are zero.
    bool copy(unsigned char *out, size_t count) {
        if (count > remaining())
            return false;
        if (count == 0)
            return true; // `out` may be null then
        size_t bytes = (count + 7) / 8;
        unsigned shift = pos_ & 7;
        const unsigned char *from = data_ + (pos_ >> 3);
        if (shift == 0) {
            std::memcpy(out, from, bytes);
        } else {
            // The bits straddle bytes: each output byte joins two inputs. The
            // second may lie past the stream's end only for bits not taken.
            size_t available = ((end_ + 7) >> 3) - (pos_ >> 3);
            for (size_t i = 0; i < bytes; i++) {
                unsigned hi = static_cast<unsigned>(from[i]) << shift;
                unsigned lo = i + 1 < available ? from[i + 1] >> (8 - shift) : 0u;
                out[i] = static_cast<unsigned char>((hi | lo) & 0xFFu);
            }
        }
        if (count & 7)
            out[bytes - 1] = static_cast<unsigned char>(out[bytes - 1] & (0xFF00u >> (count & 7)));
        pos_ += count;
        return true;
    }

  private:
    // Eight bytes as loaded from memory, the first one most significant.
    static uint64_t bigEndian(uint64_t loaded) {
        if constexpr (std::endian::native == std::endian::little)
            return __builtin_bswap64(loaded);
        return loaded;
    }

    const unsigned char *data_;
    size_t bytes_;
    size_t end_;
    size_t pos_ = 0;
};

// Reads from a word a BitReader peeked, as the BitReader would, each read
// checked only against the bits the word holds: for the message headers,
// which nearly always lie well inside their datagram.
class WordReader : public Fields<WordReader> {
  public:
    // (word_ is declared first, so it is there for the peek to fill.)
    explicit WordReader(const BitReader &from) : valid_(from.peek(word_)) {}

    // The bits read so far, for the BitReader to skip.
    unsigned used() const { return used_; }

    bool bits(uint32_t &out, unsigned count) {
        if (count == 0 || count > 32 || count > valid_ - used_)
            return count == 0 ? (out = 0, true) : false;
        out = static_cast<uint32_t>(word_ >> (64 - count));
        word_ <<= count;
        used_ += count;
        return true;
    }

  private:
    uint64_t word_ = 0;
    unsigned valid_ = 0, used_ = 0;
};

} // namespace capture
