// Windows-1251, the single-byte code page in which the game keeps names and
// chat text, to and from the UTF-8 of traces and transcripts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace replay {

// Every byte has a character except 0x98, which turns into U+FFFD.
std::string utf8FromCp1251(std::string_view bytes);
// The same, appended to `out`.
void appendUtf8FromCp1251(std::string &out, std::string_view bytes);

// nullopt when the text holds a character Windows-1251 lacks (or is not
// valid UTF-8).
std::optional<std::string> cp1251FromUtf8(std::string_view text);

} // namespace replay
