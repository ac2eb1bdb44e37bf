// What platform.cpp, the part of the system layer that is the same
// everywhere, needs from the file of each system (platform_posix.cpp,
// platform_windows.cpp).
#pragma once

#include <cstddef>
#include <filesystem>

namespace replay {

using PathChar = std::filesystem::path::value_type;

// Adds `folder` to the folders removed on the way out. False when the list
// is full or the name too long; nothing is added then.
bool remember(const std::filesystem::path &folder);

// Removes `folder` and everything in it. Natively it is called from signal
// handlers too, so it allocates nothing.
bool removeFolder(const PathChar *folder);

// Reads up to `size` bytes of standard input at the level below the C
// library's buffer, waiting for at least one. 0 at the end or on failure.
size_t readStandardInputDirectly(char *to, size_t size);

} // namespace replay
