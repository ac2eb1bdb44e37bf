#include "values.h"

#include "cp1251.h"

namespace replay::reading {

std::string named(std::string_view name) { return "\"" + std::string(name) + "\""; }

bool isNumber(const Value &v) {
    return v.type == Value::Type::integer || v.type == Value::Type::unsignedInteger ||
           v.type == Value::Type::real;
}

int64_t integerIn(const Value &v, std::string_view name, int64_t low, int64_t high) {
    bool fits = false;
    int64_t n = 0;
    if (v.type == Value::Type::integer) {
        n = v.integer;
        fits = n >= low && n <= high;
    } else if (v.type == Value::Type::unsignedInteger) {
        fits = v.unsignedInteger <= static_cast<uint64_t>(high) && high >= 0;
        n = static_cast<int64_t>(v.unsignedInteger);
        fits = fits && n >= low;
    }
    if (!fits)
        fail(named(name) + " must be an integer from " + std::to_string(low) + " to " +
             std::to_string(high));
    return n;
}

bool booleanOf(const Value &v, std::string_view name) {
    if (v.type != Value::Type::boolean)
        fail(named(name) + " must be true or false");
    return v.boolean;
}

static const char finiteMessage[] = " must be a finite number within single precision";

// A real number's float, rounded once from its digits.
static float floatOf(const Value &v) {
    return v.text.empty() ? static_cast<float>(v.real) : readFloat<float>(v.text);
}

// A number rounded once to single precision.
float singleOf(const Value &v, std::string_view name) {
    float f = 0.0f;
    if (v.type == Value::Type::integer)
        f = static_cast<float>(v.integer);
    else if (v.type == Value::Type::unsignedInteger)
        f = static_cast<float>(v.unsignedInteger);
    else if (v.type == Value::Type::real)
        f = floatOf(v);
    else
        fail(named(name) + finiteMessage);
    if (!std::isfinite(f))
        fail(named(name) + finiteMessage);
    return f;
}

// A number in double precision that is also within single precision.
double doubleOf(const Value &v, std::string_view name) {
    if (v.type != Value::Type::real) {
        singleOf(v, name);
        return v.type == Value::Type::integer ? static_cast<double>(v.integer)
                                              : static_cast<double>(v.unsignedInteger);
    }
    double d = v.real;
    // Up to the largest float, the number is within single precision; just
    // above it, only the float rounding can tell.
    if (!std::isfinite(d) || (std::fabs(d) > FLT_MAX && !std::isfinite(floatOf(v))))
        fail(named(name) + finiteMessage);
    return d;
}

const Value &arrayOf(const Value &v, std::string_view name, size_t size, std::string_view what) {
    if (v.type != Value::Type::array || v.items.size() != size ||
        !std::all_of(v.items.begin(), v.items.end(), isNumber))
        fail(named(name) + " must be an array of " + std::string(what));
    return v;
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<unsigned char> hexOf(const Value &v, std::string_view name) {
    const char *message = " must be a string of hexadecimal digits, two for each byte";
    if (v.type != Value::Type::string || v.text.size() % 2 != 0)
        fail(named(name) + message);
    std::vector<unsigned char> bytes(v.text.size() / 2);
    for (size_t i = 0; i < bytes.size(); i++) {
        int high = hexDigit(v.text[2 * i]), low = hexDigit(v.text[2 * i + 1]);
        if (high < 0 || low < 0)
            fail(named(name) + message);
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return bytes;
}

std::string cp1251Of(const Value &v, std::string_view name) {
    if (v.type != Value::Type::string)
        fail(named(name) + " must be a string");
    std::optional<std::string> bytes = cp1251FromUtf8(v.text);
    if (!bytes)
        fail(named(name) + " has a character that Windows-1251 lacks");
    return *bytes;
}

uint32_t colourOf(const Value &v, std::string_view name) {
    const char *message = " must be a colour of 8 hexadecimal digits, \"AARRGGBB\"";
    if (v.type != Value::Type::string || v.text.size() != 8)
        fail(named(name) + message);
    uint32_t colour = 0;
    for (char c : v.text) {
        int d = hexDigit(c);
        if (d < 0)
            fail(named(name) + message);
        colour = colour * 16 + static_cast<uint32_t>(d);
    }
    return colour;
}

} // namespace replay::reading
