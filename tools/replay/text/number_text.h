// Numbers as the tool's outputs write them, shared by the transcripts and
// the trace writer so that both write a float the same way.
#pragma once

#include <cstddef>
#include <string_view>

namespace replay {

// A float's shortest text that reads back as the same float, held in place:
// no allocation.
struct FloatText {
    char text[32];
    size_t size;
    std::string_view view() const { return {text, size}; }
};
FloatText floatText(float value);

} // namespace replay
