#include "number_text.h"

#include <charconv>

namespace replay {

FloatText floatText(float value) {
    FloatText t{};
    auto result = std::to_chars(t.text, t.text + sizeof t.text, value);
    t.size = static_cast<size_t>(result.ptr - t.text);
    return t;
}

} // namespace replay
