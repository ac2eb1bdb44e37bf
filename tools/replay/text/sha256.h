// SHA-256 (FIPS 180-4), fed in pieces, for naming the exact file a report
// was made from; and base64, in which a page's script is named by its hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace replay {

class Sha256 {
  public:
    Sha256();
    void add(const unsigned char *bytes, size_t size);
    void add(std::string_view bytes) {
        add(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    }
    // The digest of everything added; the object is spent after it.
    std::array<unsigned char, 32> digest();
    // The digest as 64 lower-case hex digits.
    std::string hex();
    uint64_t size() const { return length_; }

  private:
    void block(const unsigned char *p);
    uint32_t h_[8];
    unsigned char buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

std::string base64(const unsigned char *bytes, size_t size);

} // namespace replay
