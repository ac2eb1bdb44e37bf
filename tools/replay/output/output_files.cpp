#include "output_files.h"

#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace replay {

bool canWrite(const std::string &path, std::string &reason) {
    fs::path p = pathOf(path);
    std::error_code ignored;
    if (fs::is_directory(p, ignored)) {
        reason = std::strerror(EISDIR);
        return false;
    }
    bool existed = fs::exists(p, ignored);
    std::FILE *f = openFile(p, "ab");
    if (!f) {
        reason = lastErrorText();
        return false;
    }
    (void)std::fclose(f);
    if (!existed)
        fs::remove(p, ignored);
    return true;
}

bool writePicture(const std::string &path, const std::string &svg, std::string &reason) {
    if (path == "-") {
        if (std::fwrite(svg.data(), 1, svg.size(), stdout) != svg.size() ||
            std::fflush(stdout) != 0) {
            reason = lastErrorText();
            return false;
        }
        return true;
    }
    std::FILE *f = openFile(pathOf(path), "wb");
    if (!f) {
        reason = lastErrorText();
        return false;
    }
    bool written = std::fwrite(svg.data(), 1, svg.size(), f) == svg.size();
    if (!written)
        reason = lastErrorText();
    if (std::fclose(f) != 0 && written) {
        reason = lastErrorText();
        written = false;
    }
    return written;
}

} // namespace replay
