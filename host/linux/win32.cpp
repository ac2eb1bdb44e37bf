// Windows' tick counter and profile (INI) functions for the native build,
// with the behaviour the plugin meets on Windows: a `\` in a path separates
// folders, sections and keys match case-insensitively, values are trimmed
// of blanks and of one pair of matching quotes, lines end at CR LF, LF or a
// lone CR, only the first of two sections of one name is seen, a read
// returns the count of characters copied (cut to the buffer's size - 1),
// and a write creates the file but not its folder and updates a key in
// place, keeping the rest.
#include "host.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

DWORD lastError = 0;

const DWORD ERROR_PATH_NOT_FOUND = 3;

std::string nativePath(LPCSTR path) {
    std::string p = path;
    for (char &c : p)
        if (c == '\\')
            c = '/';
    return p;
}

std::string trim(const std::string &s) {
    size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

bool sameName(const std::string &a, const char *b) { return strcasecmp(a.c_str(), b) == 0; }

// Lines end at CR LF, at LF and at a CR on its own, as Windows reads them.
std::vector<std::string> readLines(const std::string &path, bool *found) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    *found = static_cast<bool>(in);
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            start++;
    }
    return lines;
}

// "[name]" gives name; any other line gives nothing.
bool sectionName(const std::string &line, std::string *name) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

// "key=value" gives key and value; any other line gives nothing.
bool keyValue(const std::string &line, std::string *key, std::string *value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    *key = trim(line.substr(0, eq));
    *value = trim(line.substr(eq + 1));
    return true;
}

std::string unquote(const std::string &v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

DWORD copyOut(const std::string &value, LPSTR buffer, DWORD bufferSize) {
    if (bufferSize == 0)
        return 0;
    size_t n = value.size() < bufferSize - 1 ? value.size() : bufferSize - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

} // namespace

extern "C" DWORD WINAPI GetTickCount(void) { return host::pluginTickCount(); }

extern "C" DWORD WINAPI GetLastError(void) { return lastError; }

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText,
                                                 LPSTR buffer, DWORD bufferSize, LPCSTR path) {
    std::string fallback = trim(defaultText ? defaultText : "");
    if (!section || !key || !path)
        return copyOut(fallback, buffer, bufferSize);
    bool found = false;
    std::vector<std::string> lines = readLines(nativePath(path), &found);
    // Only the first section of the name is read; a later one of the same
    // name is not looked at.
    bool inSection = false;
    for (const std::string &line : lines) {
        std::string name, k, v;
        if (sectionName(line, &name)) {
            if (inSection)
                break;
            inSection = sameName(name, section);
        } else if (inSection && keyValue(line, &k, &v) && sameName(k, key)) {
            return copyOut(unquote(v), buffer, bufferSize);
        }
    }
    return copyOut(fallback, buffer, bufferSize);
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                  LPCSTR path) {
    bool ok = false;
    if (section && key && value && path) {
        std::string file = nativePath(path);
        bool found = false;
        std::vector<std::string> lines = readLines(file, &found);
        std::string entry = std::string(key) + "=" + value;

        // Find the section and, inside it, the key or the line after its last key.
        bool inSection = false, placed = false;
        size_t insertAt = lines.size();
        bool sectionFound = false;
        for (size_t i = 0; i < lines.size() && !placed; i++) {
            std::string name, k, v;
            if (sectionName(lines[i], &name)) {
                if (inSection)
                    break;
                inSection = sameName(name, section);
                if (inSection) {
                    sectionFound = true;
                    insertAt = i + 1;
                }
            } else if (inSection && keyValue(lines[i], &k, &v)) {
                if (sameName(k, key)) {
                    lines[i] = entry;
                    placed = true;
                }
                insertAt = i + 1;
            }
        }
        if (!placed) {
            if (sectionFound) {
                lines.insert(lines.begin() + static_cast<long>(insertAt), entry);
            } else {
                lines.push_back("[" + std::string(section) + "]");
                lines.push_back(entry);
            }
        }

        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (out) {
            for (const std::string &line : lines)
                out << line << "\r\n";
            ok = static_cast<bool>(out.flush());
        }
        lastError = ok ? 0 : ERROR_PATH_NOT_FOUND;
    }
    host::recordProfileWrite(section, key, value, path, ok);
    return ok ? TRUE : FALSE;
}
