// Where a capture's bytes come from. The reader only ever asks for the next
// bytes, never seeks, so a pipe or a file still being written reads like a
// finished file.
#pragma once

#include <cstddef>
#include <cstdio>

namespace capture {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to `most` bytes into `to`: at least one, waiting for them if need
    // be, or 0 at the end of the input (or when reading failed).
    virtual size_t read(unsigned char *to, size_t most) = 0;
};

// A file read with fread.
class FileSource : public ByteSource {
  public:
    explicit FileSource(std::FILE *in) : in_(in) {}
    size_t read(unsigned char *to, size_t most) override { return std::fread(to, 1, most, in_); }

  private:
    std::FILE *in_;
};

} // namespace capture
