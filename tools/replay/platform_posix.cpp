// The system layer on Linux and other POSIX systems: temporary folders
// removed from signal handlers too, an unlinked temporary file, a stop
// request through a pipe that poll() can wait on.
#include "platform.h"

#include "platform_os.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace replay {

namespace {

// Removes `name` in the folder open as `parent`, and everything in it if
// it is a folder. Only calls that are safe in a signal handler: no
// allocation, no buffered directory streams.
bool removeTree(int parent, const char *name, int depth) {
    if (unlinkat(parent, name, 0) == 0 || errno == ENOENT)
        return true;
    if (depth > 32)
        return false;
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Entries removed while listing may shift the rest: list again from the
    // start until a listing finds nothing to remove.
    bool removedSome = true;
    for (int pass = 0; removedSome && pass < 64; pass++) {
        removedSome = false;
        (void)lseek(fd, 0, SEEK_SET);
        alignas(dirent64) char buffer[8192];
        ssize_t n = 0;
        while ((n = getdents64(fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
                at += entry->d_reclen;
                const char *entryName = entry->d_name;
                if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0)
                    continue;
                removedSome = removeTree(fd, entryName, depth + 1) || removedSome;
            }
        }
    }
    (void)close(fd);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace

bool removeFolder(const PathChar *folder) {
    int saved = errno;
    bool removed = removeTree(AT_FDCWD, folder, 0);
    errno = saved;
    return removed;
}

namespace {

constexpr std::array<int, 4> endingSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile std::sig_atomic_t gentle = 0, stopFlag = 0;
std::array<int, 2> stopPipe = {-1, -1};

void onEndingSignal(int signal) {
    if (gentle && !stopFlag && (signal == SIGINT || signal == SIGTERM)) {
        stopFlag = 1;
        int saved = errno;
        (void)!write(stopPipe[1], "", 1);
        errno = saved;
        return;
    }
    removeTemporaryFolders();
    // End as the signal would have ended the program, so that the shell
    // sees the usual status.
    (void)std::signal(signal, SIG_DFL);
    (void)raise(signal);
}

void watchEndingSignals() {
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    // No SA_RESTART: a read or wait that a gentle stop interrupts returns.
    for (int signal : endingSignals) {
        struct sigaction now {};
        if (sigaction(signal, nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler {};
        handler.sa_handler = onEndingSignal;
        sigemptyset(&handler.sa_mask);
        for (int other : endingSignals)
            sigaddset(&handler.sa_mask, other);
        (void)sigaction(signal, &handler, nullptr);
    }
}

} // namespace

void removeOnTheWayOut() {
    // A failed registration leaves the signal handlers to do it.
    (void)std::atexit([] { removeTemporaryFolders(); });
    watchEndingSignals();
}

fs::path makeFolderIn(const fs::path &base, std::string_view prefix) {
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    if (!remember(pattern)) {
        (void)rmdir(pattern.c_str());
        errno = EMFILE;
        return {};
    }
    return pattern;
}

void stopGentlyOnInterrupt() {
    if (stopPipe[0] < 0 && pipe2(stopPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return; // interrupts end the program, as before
    watchEndingSignals();
    gentle = 1;
}

bool stopRequested() { return stopFlag != 0; }

int stopDescriptor() { return stopPipe[0]; }

std::FILE *openUnnamedFileIn(const fs::path &base) {
    std::string pattern = (base / "norvi-spool-XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return nullptr;
    (void)unlink(pattern.c_str());
    std::FILE *stream = fdopen(fd, "w+b");
    if (!stream) {
        int saved = errno;
        (void)close(fd);
        errno = saved;
    }
    return stream;
}

bool enterFolder(const fs::path &folder) { return chdir(folder.c_str()) == 0; }

std::vector<std::string> commandLineArguments(int argc, char **argv) { return {argv, argv + argc}; }

std::FILE *openFile(const fs::path &path, const char *mode) {
    return std::fopen(path.c_str(), mode);
}

void prepareStandardOutput() {}

void prepareStandardInput() {}

size_t readStandardInputDirectly(char *to, size_t size) {
    for (;;) {
        ssize_t n = ::read(0, to, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
}

bool isTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

bool consoleOfItsOwn() { return false; }

std::string lastErrorText() { return std::strerror(errno); }

} // namespace replay
