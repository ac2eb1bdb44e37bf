// Small pieces shared by the tool's SVG pictures, written so that the same
// input gives the same bytes on every platform: numbers are formatted from
// integers, never through the C library's float printing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace replay {

// Windows-1251 text as UTF-8 fit for XML: the five special characters
// escaped, control characters (which XML forbids) shown as '?'.
std::string xmlText(std::string_view cp1251);

// The value to two decimals at most, trailing zeros dropped ("12.5", "3",
// "-0.25"); values beyond +-10^7 are held there, and a NaN is 0.
std::string svgNumber(double value);

// "#RRGGBB" of a 0xAARRGGBB colour.
std::string svgColour(uint32_t colour);

} // namespace replay
