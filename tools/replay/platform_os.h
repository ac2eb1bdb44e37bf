// What platform.cpp, the part of the system layer that is the same
// everywhere, needs from the file of each system (platform_posix.cpp,
// platform_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace replay {

using PathChar = std::filesystem::path::value_type;

// Adds `folder` to the folders removed on the way out. False when the list
// is full or the name too long; nothing is added then.
bool remember(const std::filesystem::path &folder);

// Has every folder made by makeTemporaryFolder removed on every way out of
// the program; called before the first is made.
void removeOnTheWayOut();

// Makes a new folder in `base` named `prefix`, "-" and a unique suffix,
// remembered for removal. Empty on failure, with the reason for
// lastErrorText().
std::filesystem::path makeFolderIn(const std::filesystem::path &base, std::string_view prefix);

// Opens a new file in `base` that nobody can open by name and that goes
// when it is closed, as openTemporaryFile() promises.
std::FILE *openUnnamedFileIn(const std::filesystem::path &base);

// Removes `folder` and everything in it. Natively it is called from signal
// handlers too, so it allocates nothing.
bool removeFolder(const PathChar *folder);

// Reads up to `size` bytes of standard input at the level below the C
// library's buffer, waiting for at least one. 0 at the end or on failure.
size_t readStandardInputDirectly(char *to, size_t size);

} // namespace replay
