#include "platform.h"

#include <cerrno>
#include <cstring>

namespace replay {

std::FILE *openTemporaryFile() { return std::tmpfile(); }

std::string lastErrorText() { return std::strerror(errno); }

} // namespace replay
