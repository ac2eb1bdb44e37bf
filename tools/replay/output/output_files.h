// The output files the command line names: checked before anything runs,
// written at the end.
#pragma once

#include <string>

namespace replay {

// Whether an output file can be written, found out before anything runs and
// without harming what is there: opened for appending, then closed (and
// removed again if it was not there before). False with the reason.
bool canWrite(const std::string &path, std::string &reason);

// Writes a picture to `path`, or to standard output for "-". False with the
// reason.
bool writePicture(const std::string &path, const std::string &svg, std::string &reason);

} // namespace replay
