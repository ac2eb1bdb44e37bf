// The part of the system layer that is the same on every system: the list
// of folders to remove on the way out, the held transcript, paths as UTF-8
// and the start of standard input. The rest is in platform_posix.cpp and
// platform_windows.cpp.
#include "platform.h"

#include "platform_os.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace replay {

namespace {

// The folders to remove on the way out. Natively a signal handler reads
// this list, so it is fixed storage that is filled before the count grows.
constexpr size_t maxFolders = 8;
std::array<std::array<PathChar, 4096>, maxFolders> folders{};
volatile std::sig_atomic_t folderCount = 0;

} // namespace

bool remember(const fs::path &folder) {
    const fs::path::string_type &text = folder.native();
    if (folderCount >= static_cast<std::sig_atomic_t>(maxFolders) ||
        text.size() >= folders[0].size())
        return false;
    std::array<PathChar, 4096> &slot = folders[static_cast<size_t>(folderCount)];
    std::copy(text.begin(), text.end(), slot.begin());
    slot[text.size()] = 0;
    folderCount = folderCount + 1;
    return true;
}

namespace {

// The system's temporary folder; empty on failure, with the reason in errno.
fs::path temporaryBase() {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error)
        errno = error.value();
    return error ? fs::path() : base;
}

} // namespace

fs::path makeTemporaryFolder(std::string_view prefix) {
    static bool watching = false;
    if (!watching) {
        removeOnTheWayOut();
        watching = true;
    }
    fs::path base = temporaryBase();
    return base.empty() ? base : makeFolderIn(base, prefix);
}

std::FILE *openTemporaryFile() {
    fs::path base = temporaryBase();
    return base.empty() ? nullptr : openUnnamedFileIn(base);
}

bool removeTemporaryFolders() {
    bool all = true;
    for (std::sig_atomic_t i = 0; i < folderCount; i++) {
        PathChar *folder = folders[static_cast<size_t>(i)].data();
        if (folder[0] == 0)
            continue;
        if (removeFolder(folder))
            folder[0] = 0;
        else
            all = false;
    }
    return all;
}

bool copyHeld(std::FILE *held, std::FILE *out) {
    if (std::fflush(held) != 0 || std::fseek(held, 0, SEEK_SET) != 0)
        return false;
    std::vector<char> block(1 << 16);
    while (size_t got = std::fread(block.data(), 1, block.size(), held))
        if (std::fwrite(block.data(), 1, got, out) != got)
            return false;
    return !std::ferror(held) && std::fflush(out) == 0;
}

std::string pathText(const fs::path &path) {
    std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path pathOf(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

namespace {
std::string standardInputStart;
bool standardInputPeeked = false;
} // namespace

std::string_view peekStandardInput(size_t size) {
    if (standardInputPeeked)
        return standardInputStart;
    standardInputPeeked = true;
    // Below the C library's buffer, so that what follows is still in the
    // stream for whoever reads it, through the C library or not.
    char bytes[64];
    size = std::min(size, sizeof bytes);
    size_t got = 0;
    while (got < size) {
        size_t n = readStandardInputDirectly(bytes + got, size - got);
        if (n == 0)
            break;
        got += n;
    }
    standardInputStart.assign(bytes, got);
    return standardInputStart;
}

std::string takeStandardInputStart() {
    standardInputPeeked = true; // nothing more is to be read aside
    return std::exchange(standardInputStart, std::string());
}

} // namespace replay
