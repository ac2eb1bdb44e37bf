// norvi-replay's capture input: a file recognised by its first bytes, read
// as a game session, its events handed to the runner and, on request,
// written out as the equivalent trace.
#pragma once

#include "capture/capture.h"
#include "events.h"
#include "exit_status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace replay {

// Whether the file at `path` (UTF-8 text, as the user gave it), or
// standard input for "-", begins as a pcap or pcapng capture. Standard
// input is only looked at, not consumed.
bool isCaptureFile(const std::string &path);

// Whether the file at `path` is too short yet to tell, as a capture that
// its writer has just begun.
bool captureMayStillBegin(const std::string &path);

// Paths are kept as paths, not narrow text: on Windows a narrow path goes
// through the ANSI code page, which cannot name every file.
struct CaptureInput {
    std::filesystem::path path; // the file to open; "-" is standard input
    std::string name;           // as the user named it, for messages
    capture::Options options;
    std::optional<std::filesystem::path> traceOut; // --write-trace FILE; "-" is standard output
    std::string traceName;                         // as the user named it
    bool follow = false; // --follow: at the end of the file, wait for more
    // Called just before reading would wait for input: the outputs flush.
    std::function<void()> beforeWait;
};

// Plays the capture to `run` (an event and its record number) and its
// packets to `packets`, writing the trace alongside when asked. `messages` gets the lines for
// standard error (what the reader skipped, a failure), to be printed once the transcript is out.
// Returns exitRan, or the status of a failure (exitBadInput: the capture cannot be read;
// exitCannotRun: the trace cannot be written). `server`, when given, gets the game server followed
// (HOST:PORT).
ExitStatus playCapture(const CaptureInput &input,
                       const std::function<void(const Event &, uint64_t)> &run,
                       const capture::PacketSink &packets, std::vector<std::string> &messages,
                       std::string *server = nullptr);

} // namespace replay
