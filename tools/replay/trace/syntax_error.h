// Words for a line that is not JSON: where reading stopped and why, as
// nlohmann-json (a JSON library many trace writers know) says it ("syntax
// error while parsing object - unexpected end of input; expected '}'").
// The trace reader reads lines with simdjson, for speed; this runs only on
// a line simdjson refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace replay {

// "not JSON at column C: what is wrong" for a line that is not one JSON
// value (C counts bytes from 1, and the end of the line as one more), or
// "nested too deep" for objects and arrays more than 32 levels deep;
// nothing for a line that is JSON.
std::optional<std::string> syntaxErrorOf(std::string_view line);

} // namespace replay
