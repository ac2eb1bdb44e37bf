// A capture's bytes as they come: from a finished file, from standard input
// (a pipe from tcpdump or dumpcap, say), or from a file that another
// program is still writing (--follow). Reads block rather than poll, so a
// wait costs no processor time; just before a read would wait, the outputs
// are told to flush, so a file is read at full speed and a live stream is
// shown at once. A requested stop (the first Ctrl-C of a live run) ends the
// input as if it had ended there.
#pragma once

#include "capture/source.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace replay {

class StreamInput : public capture::ByteSource {
  public:
    StreamInput() = default;
    ~StreamInput() override;
    StreamInput(const StreamInput &) = delete;
    StreamInput &operator=(const StreamInput &) = delete;

    // Reads standard input, beginning with what was peeked at to tell what
    // it holds.
    void openStandardInput();
    // Opens `path` for reading; `follow`: at its end, wait for more until a
    // stop is requested. False with the reason in error().
    bool openFile(const std::filesystem::path &path, bool follow);

    // Called just before a read would wait.
    std::function<void()> beforeWait;

    size_t read(unsigned char *to, size_t most) override;

    // Why reading failed; empty if it did not (an end or a stop is no
    // failure).
    const std::string &error() const { return error_; }
    // Whether the input ended because a stop was requested.
    bool stopped() const { return stopped_; }
    // Whether what is read is live: a pipe, a terminal, a followed file.
    bool live() const { return live_; }

  private:
    bool dataReady();
    bool waitForData();
    void waitForGrowth();
    size_t readNow(unsigned char *to, size_t most);

    std::string start_; // bytes taken before the first read
    size_t startAt_ = 0;
    bool follow_ = false, live_ = false, stopped_ = false, ended_ = false;
    std::filesystem::path path_;
    std::string error_;
#if defined(_WIN32)
    int fd_ = -1;            // opened here; standard input is not closed
    void *handle_ = nullptr; // its HANDLE
    bool pipe_ = false;
    struct PipeThread;
    PipeThread *pipeThread_ = nullptr;
    size_t readFromPipe(unsigned char *to, size_t most);
    void *change_ = nullptr; // a change notification on the followed file's folder
#else
    int fd_ = -1;
    bool owns_ = false;
    int watch_ = -1; // inotify, for a followed file
#endif
};

} // namespace replay
