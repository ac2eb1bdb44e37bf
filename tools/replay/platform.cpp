#include "platform.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace replay {

namespace {

// The folders to remove on the way out. Natively a signal handler reads
// this list, so it is fixed storage that is filled before the count grows.
constexpr size_t maxFolders = 8;
#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
std::array<std::array<PathChar, 4096>, maxFolders> folders{};
volatile std::sig_atomic_t folderCount = 0;

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

#if defined(_WIN32)

// Where the program goes before removing a folder it stands in.
std::array<wchar_t, MAX_PATH + 1> outside{};

// Whether the current directory is `folder` or inside it.
bool standingIn(const wchar_t *folder) {
    std::array<wchar_t, 4096> current{};
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    size_t length = wcslen(folder);
    return n >= length && n < current.size() && _wcsnicmp(current.data(), folder, length) == 0 &&
           (current[length] == 0 || current[length] == L'\\' || current[length] == L'/');
}

bool removeFolder(const PathChar *folder) {
    if (standingIn(folder))
        SetCurrentDirectoryW(outside.data());
    std::error_code error;
    fs::remove_all(folder, error);
    return !error;
}

volatile LONG gentle = 0, stopFlag = 0, reading = 0;
HANDLE stopEventHandle = nullptr, mainThread = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    bool ending = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT;
    if (ending && gentle && InterlockedExchange(&stopFlag, 1) == 0) {
        // This handler runs on a thread of its own: the main thread may be
        // blocked reading a pipe, which only a cancel wakes. It may also be
        // just about to start a read, so the cancel is repeated a while.
        SetEvent(stopEventHandle);
        for (int i = 0; i < 50; i++) {
            if (reading)
                CancelSynchronousIo(mainThread);
            Sleep(20);
        }
        // Closing the window ends the program once this returns: give the
        // main thread the time the system allows to finish and exit.
        if (event == CTRL_CLOSE_EVENT)
            Sleep(10000);
        return TRUE;
    }
    if (ending) {
        // The main thread may be writing into a folder at this moment: a
        // file it holds open cannot be removed until it closes it.
        for (int attempt = 0; attempt < 20 && !removeTemporaryFolders(); attempt++)
            Sleep(25);
    }
    return FALSE; // the default handling ends the program
}

void watchEndingSignals() {
    static bool watching = false;
    if (!watching)
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    watching = true;
}

void removeOnTheWayOut() {
    GetTempPathW(static_cast<DWORD>(outside.size()), outside.data());
    (void)std::atexit([] { removeTemporaryFolders(); });
    watchEndingSignals();
}

#else

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

bool removeFolder(const PathChar *folder) {
    int saved = errno;
    bool removed = removeTree(AT_FDCWD, folder, 0);
    errno = saved;
    return removed;
}

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

void removeOnTheWayOut() {
    // A failed registration leaves the signal handlers to do it.
    (void)std::atexit([] { removeTemporaryFolders(); });
    watchEndingSignals();
}

#endif

} // namespace

fs::path makeTemporaryFolder(std::string_view prefix) {
    static bool watching = false;
    if (!watching) {
        removeOnTheWayOut();
        watching = true;
    }
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) {
        errno = error.value();
        return {};
    }
#if defined(_WIN32)
    // A name nobody else has: the process id and a counter, with a fresh
    // try for a name some other program happens to use.
    static unsigned made = 0;
    for (int attempt = 0; attempt < 1000; attempt++) {
        fs::path folder =
            base / (std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(made++));
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            if (!remember(folder)) {
                RemoveDirectoryW(folder.c_str());
                SetLastError(ERROR_TOO_MANY_OPEN_FILES);
                return {};
            }
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
#else
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    if (!remember(pattern)) {
        (void)rmdir(pattern.c_str());
        errno = EMFILE;
        return {};
    }
    return pattern;
#endif
}

void stopGentlyOnInterrupt() {
#if defined(_WIN32)
    if (!stopEventHandle) {
        stopEventHandle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
    }
#else
    if (stopPipe[0] < 0 && pipe2(stopPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return; // interrupts end the program, as before
#endif
    watchEndingSignals();
    gentle = 1;
}

bool stopRequested() { return stopFlag != 0; }

#if defined(_WIN32)
void *stopEvent() { return stopEventHandle; }
void readingBegins() { InterlockedExchange(&reading, 1); }
void readingEnds() { InterlockedExchange(&reading, 0); }
#else
int stopDescriptor() { return stopPipe[0]; }
#endif

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

std::FILE *openTemporaryFile() {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) {
        errno = error.value();
        return nullptr;
    }
#if defined(_WIN32)
    static unsigned made = 0;
    for (int attempt = 0; attempt < 1000; attempt++) {
        fs::path name = base / ("norvi-spool-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(made++));
        HANDLE file =
            CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        if (fd < 0) {
            CloseHandle(file);
            return nullptr;
        }
        std::FILE *stream = _fdopen(fd, "w+b");
        if (!stream)
            _close(fd);
        return stream;
    }
    return nullptr;
#else
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
#endif
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

bool enterFolder(const fs::path &folder) {
#if defined(_WIN32)
    return SetCurrentDirectoryW(folder.c_str()) != 0;
#else
    return chdir(folder.c_str()) == 0;
#endif
}

std::string pathText(const fs::path &path) {
    std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path pathOf(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

#if defined(_WIN32)
namespace {
std::string utf8Of(const wchar_t *wide, int length = -1) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
    if (length < 0)
        text.pop_back(); // the terminating zero
    return text;
}
} // namespace
#endif

std::vector<std::string> commandLineArguments(int argc, char **argv) {
#if defined(_WIN32)
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; i++)
            arguments.push_back(utf8Of(wide[i]));
        LocalFree(wide);
        return arguments;
    }
#endif
    return {argv, argv + argc};
}

std::FILE *openFile(const fs::path &path, const char *mode) {
#if defined(_WIN32)
    std::wstring wideMode(mode, mode + std::strlen(mode));
    std::FILE *file = _wfopen(path.c_str(), wideMode.c_str());
    // The reason is errno's, which the C library sets from the system's
    // error as natively: the same words on both targets, not Windows' own.
    if (!file)
        SetLastError(0);
    return file;
#else
    return std::fopen(path.c_str(), mode);
#endif
}

void prepareStandardOutput() {
#if defined(_WIN32)
    bool console = false;
    for (std::FILE *stream : {stdout, stderr}) {
        (void)std::fflush(stream);
        (void)_setmode(_fileno(stream), _O_BINARY);
        if (!isTerminal(stream))
            continue;
        console = true;
        HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
        DWORD mode = 0;
        if (GetConsoleMode(handle, &mode))
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    if (console)
        SetConsoleOutputCP(CP_UTF8);
#endif
}

void prepareStandardInput() {
#if defined(_WIN32)
    (void)_setmode(_fileno(stdin), _O_BINARY);
#endif
}

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
#if defined(_WIN32)
        int n = _read(0, bytes + got, static_cast<unsigned>(size - got));
#else
        ssize_t n = ::read(0, bytes + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    standardInputStart.assign(bytes, got);
    return standardInputStart;
}

std::string takeStandardInputStart() {
    standardInputPeeked = true; // nothing more is to be read aside
    return std::exchange(standardInputStart, std::string());
}

bool isTerminal(std::FILE *stream) {
#if defined(_WIN32)
    // _isatty is true for any character device, NUL included: ask for a
    // console mode instead.
    DWORD mode = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

bool consoleOfItsOwn() {
#if defined(_WIN32)
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
#else
    return false;
#endif
}

std::string lastErrorText() {
#if defined(_WIN32)
    if (DWORD code = GetLastError()) {
        wchar_t *text = nullptr;
        DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
        std::string message = n ? utf8Of(text, static_cast<int>(n)) : std::string();
        LocalFree(text);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.'))
            message.pop_back();
        return message.empty() ? "error " + std::to_string(code) : message;
    }
#endif
    return std::strerror(errno);
}

} // namespace replay
