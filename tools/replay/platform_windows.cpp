// The system layer on Windows: wide paths everywhere, temporary folders
// removed from the console's control handler too, a delete-on-close
// temporary file, a stop request as an event a wait can take.
#include "platform.h"

#include "platform_os.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace fs = std::filesystem;

namespace replay {

namespace {

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

} // namespace

bool removeFolder(const PathChar *folder) {
    if (standingIn(folder))
        SetCurrentDirectoryW(outside.data());
    std::error_code error;
    fs::remove_all(folder, error);
    return !error;
}

namespace {

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

void removeOnTheWayOut() {
    GetTempPathW(static_cast<DWORD>(outside.size()), outside.data());
    (void)std::atexit([] { removeTemporaryFolders(); });
    watchEndingSignals();
}

fs::path makeFolderIn(const fs::path &base, std::string_view prefix) {
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
}

void stopGentlyOnInterrupt() {
    if (!stopEventHandle) {
        stopEventHandle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    watchEndingSignals();
    gentle = 1;
}

bool stopRequested() { return stopFlag != 0; }

void *stopEvent() { return stopEventHandle; }
void readingBegins() { InterlockedExchange(&reading, 1); }
void readingEnds() { InterlockedExchange(&reading, 0); }

std::FILE *openUnnamedFileIn(const fs::path &base) {
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
}

bool enterFolder(const fs::path &folder) { return SetCurrentDirectoryW(folder.c_str()) != 0; }

std::vector<std::string> commandLineArguments(int argc, char **argv) {
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; i++)
            arguments.push_back(utf8Of(wide[i]));
        LocalFree(wide);
        return arguments;
    }
    return {argv, argv + argc};
}

std::FILE *openFile(const fs::path &path, const char *mode) {
    std::wstring wideMode(mode, mode + std::strlen(mode));
    std::FILE *file = _wfopen(path.c_str(), wideMode.c_str());
    // The reason is errno's, which the C library sets from the system's
    // error as natively: the same words on both targets, not Windows' own.
    if (!file)
        SetLastError(0);
    return file;
}

void prepareStandardOutput() {
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
}

void prepareStandardInput() { (void)_setmode(_fileno(stdin), _O_BINARY); }

size_t readStandardInputDirectly(char *to, size_t size) {
    int n = _read(0, to, static_cast<unsigned>(size));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

bool isTerminal(std::FILE *stream) {
    // _isatty is true for any character device, NUL included: ask for a
    // console mode instead.
    DWORD mode = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

bool consoleOfItsOwn() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

std::string lastErrorText() {
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
    return std::strerror(errno);
}

} // namespace replay
