// simdjson's own source, for the Windows build (Debian ships simdjson only
// as a native library), compiled as json_library.h shows it.
#include "json_library.h"

#include <simdjson.cpp>
