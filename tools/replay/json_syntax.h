// Words for a line that is not JSON: where reading stopped and why, in the
// terms trace writers know from common JSON tools ("syntax error while
// parsing object - unexpected end of input; expected '}'").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace replay {

// "not JSON at column C: what is wrong" for a line that is not one JSON
// value (C counts bytes from 1, and the end of the line as one more), or
// "nested too deep"; nothing for a line that is JSON.
std::optional<std::string> syntaxErrorOf(std::string_view line);

} // namespace replay
