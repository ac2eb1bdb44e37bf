// norvi-replay's capture input: a file recognised by its first bytes, read
// as a game session, its events handed to the runner and, on request,
// written out as the equivalent trace.
#pragma once

#include "capture/capture.h"
#include "events.h"
#include "exit_status.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace replay {

// Whether the file at `path` begins as a pcap or pcapng capture. Standard
// input ("-") is never taken for one.
bool isCaptureFile(const std::string &path);

struct CaptureInput {
    std::string path, name; // the file to open, and as the user named it
    capture::Options options;
    std::optional<std::string> traceOut; // --write-trace FILE
};

// Plays the capture to `run` (an event and its record number), writing the
// trace alongside when asked. `messages` gets the lines for standard error
// (what the reader skipped, a failure), to be printed once the transcript
// is out. Returns exitRan, or the status of a failure (exitBadInput: the
// capture cannot be read; exitCannotRun: the trace cannot be written).
ExitStatus playCapture(const CaptureInput &input,
                       const std::function<void(const Event &, uint64_t)> &run,
                       std::vector<std::string> &messages);

} // namespace replay
