// What the tool needs from the system.
#pragma once

#include <cstdio>
#include <string>

namespace replay {

// Opens a new, empty file for reading and writing in binary mode (for
// example to hold standard input, which can be read only once). The file
// has no name anyone can open: the system removes it when it is closed or
// when the program ends, in any way. nullptr on failure, with the reason in
// lastErrorText().
std::FILE *openTemporaryFile();

// The system's words for the latest failure.
std::string lastErrorText();

} // namespace replay
