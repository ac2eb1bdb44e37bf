// The last render pass that drew, as an SVG picture of the screen.
#pragma once

#include "run.h"

#include <string>

namespace replay {

std::string svgOf(const Picture &picture);

} // namespace replay
