// The datagrams of a connection that lie outside the reliability layer:
// the handshake, refusals and the server browser's queries. Both the search for the
// server and the session go by them.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>

namespace capture {

inline bool isConnectionReply(const unsigned char *d, size_t n) {
    return n == 2 && d[0] == 25 && d[1] == 0;
}
inline bool isCookieRequest(const unsigned char *d, size_t n) { return n == 3 && d[0] == 26; }
// [94] "pmo\0" [key: 4 bytes] [version: 4 bytes]
inline bool isKeyDatagram(const unsigned char *d, size_t n) {
    return n == 13 && d[0] == 94 && std::memcmp(d + 1, "pmo", 4) == 0;
}
inline bool isHandshake(const unsigned char *d, size_t n) {
    return isConnectionReply(d, n) || isCookieRequest(d, n) || isKeyDatagram(d, n);
}
// The connection reply scrambled with the key the server just sent:
// [checksum] then [25, 0] XORed with the key's first two bytes.
inline bool isScrambledReply(const unsigned char *d, size_t n,
                             const std::array<unsigned char, 4> &key) {
    if (n != 3)
        return false;
    unsigned char plain[2] = {static_cast<unsigned char>(d[1] ^ key[0]),
                              static_cast<unsigned char>(d[2] ^ key[1])};
    unsigned checksum = (plain[0] & 0xAAu) ^ (plain[1] & 0xAAu);
    return checksum == d[0] && isConnectionReply(plain, 2);
}
// Refusals: server full, already connected, banned.
inline bool isRefusal(const unsigned char *d, size_t n) {
    return n == 2 && d[1] == 0 && (d[0] == 31 || d[0] == 29 || d[0] == 36);
}
// The server browser's query and its reply ("SAMP" and the server's
// address), which a client sends before it connects: no connection.
inline bool isQuery(const unsigned char *d, size_t n) {
    return n >= 4 && std::memcmp(d, "SAMP", 4) == 0;
}

} // namespace capture
