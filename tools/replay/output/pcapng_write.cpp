#include "pcapng_write.h"

namespace replay::pcapng {

namespace {

const uint32_t sectionHeaderType = 0x0A0D0D0A, interfaceType = 1, enhancedPacketType = 6;
const uint16_t optEnd = 0, optComment = 1, shbUserAppl = 4, ifTsresol = 9;

void putU16(std::string &out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void putU32(std::string &out, uint32_t v) {
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}
void pad(std::string &out, size_t from) {
    while ((out.size() - from) % 4 != 0)
        out.push_back('\0');
}

// Begins a block: its type and a length filled in by endBlock.
size_t beginBlock(std::string &out, uint32_t type) {
    size_t start = out.size();
    putU32(out, type);
    putU32(out, 0);
    return start;
}
void endBlock(std::string &out, size_t start) {
    uint32_t length = static_cast<uint32_t>(out.size() - start + 4);
    putU32(out, length);
    for (size_t i = 0; i < 4; i++)
        out[start + 4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
}

void putOption(std::string &out, uint16_t code, std::string_view value) {
    putU16(out, code);
    putU16(out, static_cast<uint32_t>(value.size()));
    size_t from = out.size();
    out.append(value);
    pad(out, from);
}
void endOptions(std::string &out) {
    putU16(out, optEnd);
    putU16(out, 0);
}

// At most maxComment bytes, not splitting a UTF-8 character.
std::string_view cut(std::string_view text) {
    if (text.size() <= maxComment)
        return text;
    size_t end = maxComment;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        end--;
    return text.substr(0, end);
}

} // namespace

void appendSectionHeader(std::string &out, std::string_view application) {
    size_t start = beginBlock(out, sectionHeaderType);
    putU32(out, 0x1A2B3C4D);
    putU16(out, 1); // version 1.0
    putU16(out, 0);
    putU32(out, 0xFFFFFFFF); // the section's length is not known
    putU32(out, 0xFFFFFFFF);
    putOption(out, shbUserAppl, cut(application));
    endOptions(out);
    endBlock(out, start);
}

void appendInterface(std::string &out, uint16_t linkType, uint32_t snapLength, uint8_t resolution) {
    size_t start = beginBlock(out, interfaceType);
    putU16(out, linkType);
    putU16(out, 0); // reserved
    putU32(out, snapLength);
    char unit = static_cast<char>(resolution);
    putOption(out, ifTsresol, std::string_view(&unit, 1));
    endOptions(out);
    endBlock(out, start);
}

void appendPacket(std::string &out, uint32_t interfaceId, uint64_t units, std::string_view data,
                  uint32_t originalLength, const std::vector<std::string> &comments) {
    size_t start = beginBlock(out, enhancedPacketType);
    putU32(out, interfaceId);
    putU32(out, static_cast<uint32_t>(units >> 32));
    putU32(out, static_cast<uint32_t>(units));
    putU32(out, static_cast<uint32_t>(data.size()));
    putU32(out, originalLength);
    size_t from = out.size();
    out.append(data);
    pad(out, from);
    for (const std::string &comment : comments)
        putOption(out, optComment, cut(comment));
    if (!comments.empty())
        endOptions(out);
    endBlock(out, start);
}

} // namespace replay::pcapng
