// What the tool needs from the system, the same on Linux and on Windows:
// temporary folders and files that never outlive the program, the current
// directory, standard output as plain bytes, paths and error reasons as
// UTF-8 text.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace replay {

// ---- Temporary folders and files ----

// Makes a new, empty folder in the system's temporary folder ($TMPDIR or
// /tmp; on Windows the folder GetTempPath names), called `prefix` followed
// by "-" and a unique suffix. It is removed with everything in it on every
// way out of the program: a return from main, exit(), and natively SIGINT,
// SIGTERM, SIGHUP and SIGPIPE (a signal whose disposition was "ignore" at
// the first call stays ignored); on Windows Ctrl-C, Ctrl-Break and closing
// the console window. The program is left the current directory elsewhere
// before removal (Windows cannot remove a folder that is some process's
// current directory). Returns an empty path on failure, with the reason in
// lastErrorText(). At most 8 folders are kept track of at a time.
std::filesystem::path makeTemporaryFolder(std::string_view prefix);

// Removes every folder made by makeTemporaryFolder, now. It runs by itself
// on the way out; calling it again does nothing. True if all are gone.
bool removeTemporaryFolders();

// Opens a new, empty file for reading and writing in binary mode (for
// example to hold standard input, which can be read only once). The file
// has no name anyone can open: the system removes it when it is closed or
// when the program ends, in any way (natively it is unlinked at once; on
// Windows it is opened delete-on-close). nullptr on failure, with the
// reason in lastErrorText(). On 32-bit Windows, seek past 2 GiB with
// _fseeki64, not fseek.
std::FILE *openTemporaryFile();

// Closes the file it holds, if any, when it goes.
struct FileCloser {
    std::FILE *file = nullptr;
    FileCloser() = default;
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;
    ~FileCloser() {
        if (file)
            (void)std::fclose(file);
    }
};

// Writes everything written to `held` (a temporary file) to `out`, from
// the start, and flushes `out`. False on failure, with the reason in
// lastErrorText().
bool copyHeld(std::FILE *held, std::FILE *out);

// ---- Stopping a live run ----

// From this call on, the first interrupt (natively SIGINT or SIGTERM; on
// Windows Ctrl-C, Ctrl-Break or closing the console window) does not end
// the program but asks it to stop: stopRequested() turns true and a read
// of live input that waits returns. The second ends the program at once,
// the temporary folders removed. Call from the main thread.
void stopGentlyOnInterrupt();
bool stopRequested();
#if defined(_WIN32)
// An event (HANDLE) that is set when a stop is requested.
void *stopEvent();
// Around a read that may block: a stop request cancels it.
void readingBegins();
void readingEnds();
#else
// A descriptor that turns readable when a stop is requested, for poll().
int stopDescriptor();
#endif

// ---- Folders and paths ----

// Makes `folder` the current directory (by its wide name on Windows, so
// that any name works). False on failure, with the reason in lastErrorText().
bool enterFolder(const std::filesystem::path &folder);

// `path` as UTF-8 text, for messages and transcripts (on Windows, paths are
// wide strings, and their narrow form is the ANSI code page, not UTF-8).
std::string pathText(const std::filesystem::path &path);

// The path a UTF-8 text names (a command line argument, say).
std::filesystem::path pathOf(std::string_view utf8);

// The program's command line as UTF-8 text, argv[0] first. Natively the
// arguments as given; on Windows read again from the wide command line, as
// argv holds only what the ANSI code page can show.
std::vector<std::string> commandLineArguments(int argc, char **argv);

// Opens `path` like std::fopen (on Windows through _wfopen, so that any
// name works). nullptr on failure, with the reason in lastErrorText(): the
// C library's words for errno on both targets ("No such file or
// directory"), so that a message reads the same everywhere.
std::FILE *openFile(const std::filesystem::path &path, const char *mode);

// ---- Standard streams ----

// Standard output and standard error pass bytes through unchanged: on
// Windows they are put in binary mode, so "\n" stays LF instead of
// becoming CR LF, and where one is a console, the console shows UTF-8 and
// obeys colour escape sequences. Natively there is nothing to do. Call
// before writing anything.
void prepareStandardOutput();

// Standard input passes bytes through unchanged: on Windows it is put in
// binary mode, so that CR LF stays as it is and a Ctrl-Z byte is no end of
// the input. Natively there is nothing to do. Call before reading anything.
void prepareStandardInput();

// The first bytes of standard input (up to `size`, fewer where it ends
// sooner), read once and kept: a stream, a pipe say, is told apart by its
// start without being read twice. Whoever then reads standard input takes
// them first with takeStandardInputStart() and reads on from after them.
std::string_view peekStandardInput(size_t size);
std::string takeStandardInputStart();

// Whether `stream` is a terminal (a console on Windows).
bool isTerminal(std::FILE *stream);

// Whether the program has a console window to itself, as when started by a
// double click in Explorer (the window closes as soon as it ends). Never
// natively.
bool consoleOfItsOwn();

// ---- Errors ----

// The system's words for the latest failure: natively errno's; on Windows
// GetLastError()'s where it is set (the C library's file functions set it
// too), else errno's. UTF-8, with no trailing newline.
std::string lastErrorText();

} // namespace replay
