// A trace line's JSON as the reader checks it: a small tree of values, each
// number keeping the text it was written with, walked from simdjson's
// parse of the line. Shared by the pieces of the trace reader, nothing
// else.
#pragma once

#include "json_library.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory_resource>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace replay::reading {

struct Value {
    enum class Type { null, boolean, integer, unsignedInteger, real, string, array, object };
    Type type = Type::null;
    bool boolean = false;
    int64_t integer = 0;
    uint64_t unsignedInteger = 0;
    double real = 0; // rounded once from the digits
    // A string, or the digits of a real number whose double cannot tell its
    // float: a view into the line or into the parser's string buffer, both
    // alive until the next line.
    std::string_view text;
    std::pmr::vector<Value> items;           // array items, or object values
    std::pmr::vector<std::string_view> keys; // object keys, beside their values

    // A value whose containers take their memory from `arena`.
    explicit Value(std::pmr::memory_resource *arena) : items(arena), keys(arena) {}
};

// Objects and arrays nest at most this deep: an event needs three levels.
const size_t maxDepth = 32;

struct Bad {
    std::string message;
};

[[noreturn]] inline void fail(std::string message) { throw Bad{std::move(message)}; }

// What the walk below found wrong with the JSON itself; the line is then
// described by syntaxErrorOf, which names the column.
struct NotJson {};

inline void check(simdjson::error_code error) {
    if (error != simdjson::SUCCESS)
        throw NotJson{};
}

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A JSON number's text rounded once to T. from_chars is quick and knows no
// locale; for numbers beyond T's range it reports an error instead of a
// value, and strtof/strtod (in the C locale the tool keeps) give the
// infinity or the tiny value.
template <typename T> T readFloat(std::string_view text) {
    T value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size())
        return value;
    if constexpr (std::is_same_v<T, float>)
        return std::strtof(std::string(text).c_str(), nullptr);
    else
        return std::strtod(std::string(text).c_str(), nullptr);
}

// Whether a double, itself rounded from a number's digits, may round to
// another float than the digits would: when it lies exactly halfway
// between two floats (the digits may lie on either side), or beyond the
// floats' range. Anywhere else, both roundings give the same float.
inline bool needsDigits(double d) {
    double magnitude = std::fabs(d);
    if (magnitude >= FLT_MIN && magnitude <= FLT_MAX) {
        // A float's 24 significant bits are a double's 53 less 29: the
        // double is a float when those 29 are 0, halfway between two when
        // they are 1 followed by zeros.
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        return (bits & 0x1FFFFFFF) == 0x10000000;
    }
    float f = static_cast<float>(d);
    if (static_cast<double>(f) == d)
        return false;
    if (!std::isfinite(f) || magnitude > FLT_MAX)
        return true;
    float g = std::nextafter(f, d > static_cast<double>(f) ? HUGE_VALF : -HUGE_VALF);
    return d == (static_cast<double>(f) + static_cast<double>(g)) / 2;
}

// The texts of a line's numbers, one after the other in the order they are
// written, which is the order a walk of the line's tree meets them. Only
// for a line that is known to be JSON.
class NumberTexts {
  public:
    explicit NumberTexts(std::string_view line) : line_(line) {}
    // Counts a number met by the walk.
    void count() { met_++; }
    // The digits of the number met last.
    std::string_view last() {
        s_ = line_;
        i_ = 0;
        std::string_view digits;
        for (size_t k = 0; k < met_; k++)
            digits = next();
        return digits;
    }

  private:
    std::string_view line_, s_;
    size_t i_ = 0;
    size_t met_ = 0;

    std::string_view next() {
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (c == '"') {
                for (i_++; i_ < s_.size() && s_[i_] != '"'; i_++)
                    if (s_[i_] == '\\')
                        i_++;
                i_++;
            } else if (c == '-' || isDigit(c)) {
                size_t start = i_;
                while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != ']' && s_[i_] != '}' &&
                       s_[i_] != ' ' && s_[i_] != '\t' && s_[i_] != '\r' && s_[i_] != '\n')
                    i_++;
                return s_.substr(start, i_ - start);
            } else {
                i_++;
            }
        }
        throw NotJson{};
    }
};

// Walks a parsed line into `into`. The parser has checked the JSON; what
// is left is the depth, keys given twice, and the numbers' own texts.
void walk(simdjson::dom::element from, Value &into, size_t depth, NumberTexts &numbers);

// Walks a line that the quick parser refused for a number it cannot hold
// (one beyond 64 bits, say), through the On-Demand parser.
void walkDocumentSlowly(simdjson::ondemand::document &document, Value &root);

} // namespace replay::reading
