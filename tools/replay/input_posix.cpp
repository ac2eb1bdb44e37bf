// Live input on Linux: poll() on the input and the stop pipe together, and
// inotify for a followed file, so that a wait costs no processor time.
#include "input.h"

#include "platform.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace replay {

StreamInput::~StreamInput() {
    if (owns_ && fd_ >= 0)
        (void)close(fd_);
    if (watch_ >= 0)
        (void)close(watch_);
}

void StreamInput::openStandardInput() {
    start_ = takeStandardInputStart();
    fd_ = 0;
    struct stat st {};
    live_ = fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode);
}

bool StreamInput::openFile(const fs::path &path, bool follow) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    owns_ = true;
    follow_ = live_ = follow;
    path_ = path;
    if (follow) {
        // Told of every write to the file, so that a wait costs nothing.
        watch_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch_ >= 0 &&
            inotify_add_watch(watch_, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB) < 0) {
            (void)close(watch_);
            watch_ = -1;
        }
    }
    return true;
}

bool StreamInput::dataReady() {
    pollfd one{fd_, POLLIN, 0};
    return poll(&one, 1, 0) != 0;
}

bool StreamInput::waitForData() {
    pollfd both[2] = {{fd_, POLLIN, 0}, {stopDescriptor(), POLLIN, 0}};
    int n = poll(both, stopDescriptor() >= 0 ? 2 : 1, -1);
    return n > 0 && both[0].revents != 0;
}

size_t StreamInput::readNow(unsigned char *to, size_t most) {
    for (;;) {
        ssize_t got = ::read(fd_, to, most);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR) {
            error_ = std::strerror(errno);
            return 0;
        }
        if (stopRequested())
            return 0;
    }
}

void StreamInput::waitForGrowth() {
    pollfd both[2] = {{watch_, POLLIN, 0}, {stopDescriptor(), POLLIN, 0}};
    // Without inotify (none left), a look every half second.
    int n = poll(watch_ >= 0 ? both : both + 1, watch_ >= 0 ? 2 : 1, watch_ >= 0 ? -1 : 500);
    if (watch_ >= 0 && n > 0 && both[0].revents) {
        alignas(inotify_event) char events[4096];
        while (::read(watch_, events, sizeof events) > 0) {
        }
    }
}

} // namespace replay
