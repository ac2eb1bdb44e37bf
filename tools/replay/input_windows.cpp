// Live input on Windows: a pipe read on a thread of its own so that a stop
// can always end the wait, a followed file watched through a change
// notification on its folder.
#include "input.h"

#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace replay {

StreamInput::~StreamInput() {
    if (fd_ >= 0)
        (void)_close(fd_);
    if (change_)
        FindCloseChangeNotification(change_);
}

void StreamInput::openStandardInput() {
    start_ = takeStandardInputStart();
    handle_ = reinterpret_cast<HANDLE>(_get_osfhandle(0));
    DWORD type = GetFileType(handle_);
    pipe_ = type == FILE_TYPE_PIPE;
    live_ = type != FILE_TYPE_DISK;
}

bool StreamInput::openFile(const fs::path &path, bool follow) {
    // The C library's open, for the same words on failure as natively; it
    // shares the file for reading and writing, so its writer goes on.
    fd_ = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    handle_ = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    follow_ = live_ = follow;
    path_ = path;
    return true;
}

bool StreamInput::dataReady() {
    // Only a pipe can be asked; anything else is read as it comes. Not
    // every pipe answers (under Wine, a Unix pipe refuses with "not
    // supported"): one that cannot be asked is taken as empty, so that what
    // has been written is flushed before every read that may wait.
    DWORD available = 0;
    if (!pipe_)
        return true;
    return PeekNamedPipe(handle_, nullptr, 0, nullptr, &available, nullptr) && available > 0;
}

bool StreamInput::waitForData() { return true; } // the read itself waits, and a stop ends it

// A pipe is read on a thread of its own, and the main thread waits for that
// read or for a stop, whichever comes first: a blocked ReadFile on a pipe
// is not cancelled everywhere (CancelSynchronousIo does on Windows; Wine
// leaves it blocked). After a stop the read is left as it is; the program
// ends soon after, so the thread and its buffer are never freed.
struct StreamInput::PipeThread {
    explicit PipeThread(HANDLE from) : pipe(from) {}
    HANDLE pipe;
    HANDLE want = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    unsigned char bytes[1 << 16] = {};
    DWORD got = 0;
    BOOL ok = TRUE;
    DWORD error = 0;
    bool pending = false;

    static DWORD WINAPI run(void *self) {
        auto *t = static_cast<PipeThread *>(self);
        for (;;) {
            WaitForSingleObject(t->want, INFINITE);
            t->ok = ReadFile(t->pipe, t->bytes, sizeof t->bytes, &t->got, nullptr);
            t->error = t->ok ? 0 : GetLastError();
            SetEvent(t->done);
        }
    }
};

size_t StreamInput::readFromPipe(unsigned char *to, size_t most) {
    if (!pipeThread_) {
        pipeThread_ = new PipeThread(handle_);
        HANDLE thread = CreateThread(nullptr, 0, PipeThread::run, pipeThread_, 0, nullptr);
        if (!thread) {
            error_ = lastErrorText();
            return 0;
        }
        CloseHandle(thread);
    }
    PipeThread &t = *pipeThread_;
    if (!t.pending) {
        t.pending = true;
        SetEvent(t.want);
    }
    HANDLE waits[2] = {t.done, stopEvent()};
    if (WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
        return 0; // a stop, seen by the caller
    t.pending = false;
    if (!t.ok) {
        // The writing end closed: the end of the stream.
        if (t.error != ERROR_BROKEN_PIPE && t.error != ERROR_HANDLE_EOF) {
            SetLastError(t.error);
            error_ = lastErrorText();
        }
        return 0;
    }
    size_t n = std::min<size_t>(most, t.got);
    std::memcpy(to, t.bytes, n);
    // What does not fit comes first next time.
    start_.assign(reinterpret_cast<const char *>(t.bytes) + n, t.got - n);
    startAt_ = 0;
    return n;
}

size_t StreamInput::readNow(unsigned char *to, size_t most) {
    if (pipe_)
        return readFromPipe(to, most);
    DWORD got = 0;
    readingBegins();
    BOOL ok =
        ReadFile(handle_, to, static_cast<DWORD>(std::min<size_t>(most, 1u << 20)), &got, nullptr);
    readingEnds();
    if (ok)
        return got;
    DWORD error = GetLastError();
    // The writing end closed: the end of the stream. A cancelled read is a
    // stop, seen by the caller.
    if (error != ERROR_BROKEN_PIPE && error != ERROR_OPERATION_ABORTED && error != ERROR_HANDLE_EOF)
        error_ = lastErrorText();
    return 0;
}

void StreamInput::waitForGrowth() {
    if (!change_) {
        change_ = FindFirstChangeNotificationW(
            path_.parent_path().empty() ? L"." : path_.parent_path().c_str(), FALSE,
            FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
        if (change_ == INVALID_HANDLE_VALUE)
            change_ = nullptr;
    }
    // A file held open by its writer may grow before its folder hears of
    // it, so the wait also ends after a second.
    HANDLE waits[2] = {stopEvent(), change_};
    DWORD n = change_ ? 2 : 1;
    if (WaitForMultipleObjects(n, waits, FALSE, 1000) == WAIT_OBJECT_0 + 1)
        FindNextChangeNotification(change_);
}

} // namespace replay
