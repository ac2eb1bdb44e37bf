#include "syntax_error.h"

#include <nlohmann/json.hpp>

#include <utility>
#include <vector>

namespace replay {

namespace {

// As deep as the trace reader follows.
const int maxDepth = 32;

// Reads a line through the library's event interface, building nothing:
// only the depth is followed, and the library's own message kept.
struct Check {
    using json = nlohmann::json;
    int depth = 0;
    bool tooDeep = false;
    std::optional<std::string> error;
    // A number beyond a double's range, which is JSON all the same: where
    // it ends and how long it is.
    std::optional<std::pair<size_t, size_t>> tooLarge;

    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(json::number_integer_t) { return true; }
    bool number_unsigned(json::number_unsigned_t) { return true; }
    bool number_float(json::number_float_t, const json::string_t &) { return true; }
    bool string(json::string_t &) { return true; }
    bool binary(json::binary_t &) { return true; }
    bool key(json::string_t &) { return true; }
    bool start_object(std::size_t) { return open(); }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t position, const std::string &token,
                     const nlohmann::detail::exception &e) {
        const int numberOverflow = 406;
        if (e.id == numberOverflow)
            tooLarge = {position, token.size()};
        else
            error = e.what();
        return false;
    }

    bool open() {
        if (depth >= maxDepth) {
            tooDeep = true;
            return false;
        }
        depth++;
        return true;
    }
    bool close() {
        depth--;
        return true;
    }
};

} // namespace

std::optional<std::string> syntaxErrorOf(std::string_view line) {
    // The library stops at a number too large for a double; the line is
    // read again with each such number blanked to a 0 of the same width,
    // so that the columns stay.
    std::string text(line);
    std::vector<std::pair<std::string, std::string>> blanked; // (the number, its blank)
    Check check;
    while (true) {
        check = Check{};
        // Exceptions are the library's way to report; the checker takes
        // them through parse_error instead.
        (void)nlohmann::json::sax_parse(text.begin(), text.end(), &check);
        if (!check.tooLarge)
            break;
        auto [end, size] = *check.tooLarge;
        if (size == 0 || size > end || end > text.size())
            break;
        std::string blank = "0" + std::string(size - 1, ' ');
        blanked.emplace_back(text.substr(end - size, size), blank);
        text.replace(end - size, size, blank);
    }
    if (check.tooDeep)
        return "nested too deep";
    if (!check.error)
        return std::nullopt;
    // "[json.exception.parse_error.101] parse error at line 1, column C: what"
    // becomes "not JSON at column C: what".
    std::string what = *check.error;
    // What the library last read shows the number as it stood.
    size_t lastRead = what.find("last read: '");
    for (const auto &[number, blank] : blanked)
        if (size_t at = what.find(blank, lastRead);
            lastRead != std::string::npos && at != std::string::npos)
            what.replace(at, blank.size(), number);
    size_t column = what.find("column ");
    if (column == std::string::npos)
        return "not JSON: " + what;
    return "not JSON at " + what.substr(column);
}

} // namespace replay
