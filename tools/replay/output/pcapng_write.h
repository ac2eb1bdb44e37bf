// The blocks of a pcapng file, as Wireshark reads them: a section header,
// interface descriptions and enhanced packet blocks with comments. Always
// written little-endian; each block is appended to a byte string whole,
// padded to 32 bits, with its total length at both ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace replay::pcapng {

// The section header (version 1.0, length unknown), naming the program
// that wrote the file (shb_userappl).
void appendSectionHeader(std::string &out, std::string_view application);

// An interface: its link type, snapshot length and time unit, the
// if_tsresol byte (6: microseconds, 9: nanoseconds, 0x80 | n: 2^-n s).
// Interfaces are numbered from 0 in the order they are written.
void appendInterface(std::string &out, uint16_t linkType, uint32_t snapLength, uint8_t resolution);

// A packet on interface `interfaceId`, stamped `units` of that interface's
// time unit, with one opt_comment option for each comment (UTF-8; a comment
// longer than an option holds is cut at a character boundary).
void appendPacket(std::string &out, uint32_t interfaceId, uint64_t units, std::string_view data,
                  uint32_t originalLength, const std::vector<std::string> &comments);

// The longest comment an option can hold.
inline constexpr size_t maxComment = 65535;

} // namespace replay::pcapng
