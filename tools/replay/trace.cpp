// Reading a trace line: simdjson's On-Demand parser walks the line's JSON
// into a small tree (numbers keep the text they were written with, so that
// floats are rounded once from what the trace says), which is then checked
// against the event it names and turned into an Event.
#include "trace.h"

#include "cp1251.h"
#include "syntax_error.h"

#include "json_library.h"

#include <algorithm>
#include <bitset>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory_resource>
#include <type_traits>

namespace replay {

static_assert(LineReader::padding >= simdjson::SIMDJSON_PADDING);

namespace {

using namespace std::string_view_literals;

// ---- A line's JSON ----

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

[[noreturn]] void fail(std::string message) { throw Bad{std::move(message)}; }

// What the walk below found wrong with the JSON itself; the line is then
// described by syntaxErrorOf, which names the column.
struct NotJson {};

void check(simdjson::error_code error) {
    if (error != simdjson::SUCCESS)
        throw NotJson{};
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

// A JSON number's text (RFC 8259's grammar) into `v`: an integer when it
// has neither fraction nor exponent and fits 64 bits, a real otherwise.
void readNumber(std::string_view text, Value &v) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    size_t i = 0;
    bool negative = i < text.size() && text[i] == '-';
    if (negative)
        i++;
    size_t digits = i;
    while (i < text.size() && isDigit(text[i]))
        i++;
    if (i == digits || (i - digits > 1 && text[digits] == '0'))
        throw NotJson{};
    bool real = false;
    if (i < text.size() && text[i] == '.') {
        real = true;
        size_t fraction = ++i;
        while (i < text.size() && isDigit(text[i]))
            i++;
        if (i == fraction)
            throw NotJson{};
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        real = true;
        i++;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            i++;
        size_t exponent = i;
        while (i < text.size() && isDigit(text[i]))
            i++;
        if (i == exponent)
            throw NotJson{};
    }
    if (i != text.size())
        throw NotJson{};
    if (!real) {
        uint64_t n = 0;
        const char *first = text.data() + (negative ? 1 : 0);
        auto [end, error] = std::from_chars(first, text.data() + text.size(), n);
        if (error == std::errc() && end == text.data() + text.size()) {
            if (!negative) {
                v.type = Value::Type::unsignedInteger;
                v.unsignedInteger = n;
                return;
            }
            if (n <= uint64_t(1) << 63) {
                v.type = Value::Type::integer;
                v.integer = n == uint64_t(1) << 63 ? std::numeric_limits<int64_t>::min()
                                                   : -static_cast<int64_t>(n);
                return;
            }
        }
        // Beyond 64 bits: a real number, as JSON readers take it.
    }
    v.type = Value::Type::real;
    v.text = text;
    v.real = readFloat<double>(text);
}

// Whether a double, itself rounded from a number's digits, may round to
// another float than the digits would: when it lies exactly halfway
// between two floats (the digits may lie on either side), or beyond the
// floats' range. Anywhere else, both roundings give the same float.
bool needsDigits(double d) {
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
void walk(simdjson::dom::element from, Value &into, size_t depth, NumberTexts &numbers) {
    using simdjson::dom::element_type;
    switch (from.type()) {
    case element_type::OBJECT: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::object;
        simdjson::dom::object object = from.get_object().value_unsafe();
        into.items.reserve(object.size());
        into.keys.reserve(object.size());
        for (simdjson::dom::key_value_pair field : object) {
            for (std::string_view seen : into.keys)
                if (seen == field.key)
                    fail("the key \"" + std::string(field.key) + "\" appears twice");
            into.keys.push_back(field.key);
            walk(field.value, into.items.emplace_back(into.items.get_allocator().resource()),
                 depth + 1, numbers);
        }
        return;
    }
    case element_type::ARRAY: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::array;
        simdjson::dom::array array = from.get_array().value_unsafe();
        into.items.reserve(array.size());
        for (simdjson::dom::element item : array)
            walk(item, into.items.emplace_back(into.items.get_allocator().resource()), depth + 1,
                 numbers);
        return;
    }
    case element_type::INT64:
        numbers.count();
        into.type = Value::Type::integer;
        into.integer = from.get_int64().value_unsafe();
        return;
    case element_type::UINT64:
        numbers.count();
        into.type = Value::Type::unsignedInteger;
        into.unsignedInteger = from.get_uint64().value_unsafe();
        return;
    case element_type::DOUBLE:
        numbers.count();
        into.type = Value::Type::real;
        into.real = from.get_double().value_unsafe();
        if (needsDigits(into.real))
            into.text = numbers.last();
        return;
    case element_type::STRING:
        into.type = Value::Type::string;
        into.text = from.get_string().value_unsafe();
        return;
    case element_type::BOOL:
        into.type = Value::Type::boolean;
        into.boolean = from.get_bool().value_unsafe();
        return;
    case element_type::NULL_VALUE:
        return;
    }
}

// The slow way, for the rare line with a number beyond a double's range,
// which the parser above refuses (JSON itself sets no range: such a number
// is read as written and then found out of range, like any other). It
// walks the line token by token and never reads a number's value.
void walkSlowly(simdjson::ondemand::value from, Value &into, size_t depth) {
    using simdjson::ondemand::json_type;
    json_type type;
    check(from.type().get(type));
    switch (type) {
    case json_type::object: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::object;
        into.items.reserve(8);
        into.keys.reserve(8);
        simdjson::ondemand::object object;
        check(from.get_object().get(object));
        for (auto result : object) {
            simdjson::ondemand::field field;
            check(std::move(result).get(field));
            std::string_view key;
            check(field.unescaped_key().get(key));
            for (std::string_view seen : into.keys)
                if (seen == key)
                    fail("the key \"" + std::string(key) + "\" appears twice");
            into.keys.push_back(key);
            walkSlowly(field.value(),
                       into.items.emplace_back(into.items.get_allocator().resource()), depth + 1);
        }
        return;
    }
    case json_type::array: {
        if (depth >= maxDepth)
            fail("nested too deep");
        into.type = Value::Type::array;
        into.items.reserve(4);
        simdjson::ondemand::array array;
        check(from.get_array().get(array));
        for (auto result : array) {
            simdjson::ondemand::value item;
            check(result.get(item));
            walkSlowly(item, into.items.emplace_back(into.items.get_allocator().resource()),
                       depth + 1);
        }
        return;
    }
    case json_type::number:
        readNumber(from.raw_json_token(), into);
        return;
    case json_type::string:
        into.type = Value::Type::string;
        check(from.get_string().get(into.text));
        return;
    case json_type::boolean:
        into.type = Value::Type::boolean;
        check(from.get_bool().get(into.boolean));
        return;
    case json_type::null: {
        bool null = false;
        check(from.is_null().get(null));
        if (!null)
            throw NotJson{};
        return;
    }
    }
    throw NotJson{};
}

void walkDocumentSlowly(simdjson::ondemand::document &document, Value &root) {
    using simdjson::ondemand::json_type;
    json_type type;
    check(document.type().get(type));
    if (type == json_type::object || type == json_type::array) {
        simdjson::ondemand::value value;
        check(document.get_value().get(value));
        walkSlowly(value, root, 0);
    } else if (type == json_type::number) {
        std::string_view raw;
        check(document.raw_json_token().get(raw));
        readNumber(raw, root);
    } else if (type == json_type::string) {
        root.type = Value::Type::string;
        check(document.get_string().get(root.text));
    } else if (type == json_type::boolean) {
        root.type = Value::Type::boolean;
        check(document.get_bool().get(root.boolean));
    } else {
        bool null = false;
        check(document.is_null().get(null));
        if (!null)
            throw NotJson{};
    }
}

// ---- Checking values ----

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

const char finiteMessage[] = " must be a finite number within single precision";

// A real number's float, rounded once from its digits.
float floatOf(const Value &v) {
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

int hexDigit(char c) {
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

// An event's object: its keys, each checked off as it is read, so that
// what is left over can be reported.
class Fields {
  public:
    Fields(const Value &object, std::string_view event) : object_(object), event_(event) {
        // Every event has far fewer keys; more are some not belonging to it.
        if (object.keys.size() > maxKeys)
            fail("too many keys for a " + named(event_) + " event");
    }
    const Value *find(std::string_view key) {
        for (size_t i = 0; i < object_.keys.size(); i++)
            if (object_.keys[i] == key) {
                used_.set(i);
                return &object_.items[i];
            }
        return nullptr;
    }
    const Value &need(std::string_view key) {
        const Value *v = find(key);
        if (!v)
            fail(named(event_) + " needs " + named(key));
        return *v;
    }
    // Every key not read is one that does not belong here.
    void finish() const {
        for (size_t i = 0; i < object_.keys.size(); i++)
            if (!used_.test(i))
                fail(named(object_.keys[i]) + " does not belong to a " + named(event_) +
                     (event_.find('.') == std::string::npos ? " event" : ""));
    }

  private:
    static const size_t maxKeys = 64;
    const Value &object_;
    std::string_view event_;
    std::bitset<maxKeys> used_;
};

// ---- The events ----

const std::string_view eventNames[] = {
    "tick",   "advance", "game",    "sampReady",   "player",     "screen",    "cursor",
    "lmb",    "menu",    "canDraw", "beginRender", "fontHeight", "fontFails", "frame",
    "packet", "sync",    "rpc",     "spectate",    "command"};

bool isEventName(std::string_view key) {
    for (std::string_view name : eventNames)
        if (key == name)
            return true;
    return false;
}

std::string eventList() {
    std::string list;
    for (std::string_view name : eventNames)
        list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

const int64_t int32Low = std::numeric_limits<int32_t>::min();
const int64_t int32High = std::numeric_limits<int32_t>::max();
const int64_t uint32High = std::numeric_limits<uint32_t>::max();

void readTriple(const Value &v, std::string_view name, float out[3]) {
    arrayOf(v, name, 3, "3 numbers");
    for (int i = 0; i < 3; i++)
        out[i] = singleOf(v.items[static_cast<size_t>(i)], name);
}

Sync readSync(const Value &v) {
    if (v.type != Value::Type::object)
        fail("\"sync\" must be an object of the packet's fields");
    Fields f(v, "sync");
    Sync s;
    s.player = static_cast<uint16_t>(integerIn(f.need("player"), "sync.player", 0, 65535));
    if (const Value *keys = f.find("keys"))
        s.keys = static_cast<uint16_t>(integerIn(*keys, "sync.keys", 0, 65535));
    if (const Value *lr = f.find("leftRight"))
        s.leftRight = static_cast<uint16_t>(integerIn(*lr, "sync.leftRight", 0, 65535));
    if (const Value *ud = f.find("upDown"))
        s.upDown = static_cast<uint16_t>(integerIn(*ud, "sync.upDown", 0, 65535));
    if (const Value *p = f.find("position"))
        readTriple(*p, "sync.position", s.position);
    if (const Value *q = f.find("quaternion")) {
        arrayOf(*q, "sync.quaternion", 4, "4 numbers, w, x, y, z");
        for (size_t i = 0; i < 4; i++)
            s.quaternion[i] = doubleOf(q->items[i], "sync.quaternion");
    }
    if (const Value *h = f.find("health"))
        s.health = static_cast<int>(integerIn(*h, "sync.health", 0, 100));
    if (const Value *a = f.find("armour"))
        s.armour = static_cast<int>(integerIn(*a, "sync.armour", 0, 100));
    if (const Value *w = f.find("weapon"))
        s.weapon = static_cast<uint8_t>(integerIn(*w, "sync.weapon", 0, 255));
    if (const Value *sa = f.find("specialAction"))
        s.specialAction = static_cast<uint8_t>(integerIn(*sa, "sync.specialAction", 0, 255));
    if (const Value *vel = f.find("velocity")) {
        arrayOf(*vel, "sync.velocity", 3, "3 numbers");
        for (size_t i = 0; i < 3; i++)
            s.velocity[i] = doubleOf(vel->items[i], "sync.velocity");
    }
    if (const Value *surf = f.find("surf")) {
        if (surf->type != Value::Type::object)
            fail("\"sync.surf\" must be an object with \"vehicle\" and \"offset\"");
        Fields sf(*surf, "sync.surf");
        Sync::Surf out{};
        out.vehicle =
            static_cast<uint16_t>(integerIn(sf.need("vehicle"), "sync.surf.vehicle", 0, 65535));
        readTriple(sf.need("offset"), "sync.surf.offset", out.offset);
        sf.finish();
        s.surf = out;
    }
    if (const Value *anim = f.find("animation")) {
        arrayOf(*anim, "sync.animation", 2, "2 integers, id and flags");
        Sync::Animation out{};
        out.id = static_cast<uint16_t>(integerIn(anim->items[0], "sync.animation id", 0, 65535));
        // The flags are a signed word in the game's eyes: either reading is taken.
        out.flags =
            static_cast<uint16_t>(integerIn(anim->items[1], "sync.animation flags", -32768, 65535));
        s.animation = out;
    }
    f.finish();
    return s;
}

Event readEvent(std::string_view name, const Value &v, Fields &f) {
    using T = Value::Type;
    if (name == "tick"sv)
        return SetTick{static_cast<uint32_t>(integerIn(v, name, 0, uint32High))};
    if (name == "advance"sv)
        return Advance{static_cast<uint32_t>(integerIn(v, name, 0, uint32High))};
    if (name == "game"sv) {
        if (v.type == T::null)
            return SetGame{std::nullopt};
        return SetGame{static_cast<int32_t>(integerIn(v, name, int32Low, int32High))};
    }
    if (name == "sampReady"sv)
        return SetSampReady{booleanOf(v, name)};
    if (name == "player"sv) {
        SetPlayer p{static_cast<uint16_t>(integerIn(v, name, 0, 65535)), std::nullopt,
                    std::nullopt};
        if (const Value *n = f.find("name")) {
            if (n->type == T::null)
                p.name = std::optional<std::string>{};
            else
                p.name = cp1251Of(*n, "name");
        }
        if (const Value *c = f.find("color"))
            p.colour = colourOf(*c, "color");
        return p;
    }
    if (name == "screen"sv) {
        arrayOf(v, name, 2, "2 integers above 0, [W, H]");
        return SetScreen{
            static_cast<int32_t>(integerIn(v.items[0], "screen width", 1, int32High)),
            static_cast<int32_t>(integerIn(v.items[1], "screen height", 1, int32High))};
    }
    if (name == "cursor"sv) {
        arrayOf(v, name, 2, "2 integers, [X, Y]");
        return SetCursor{
            static_cast<int32_t>(integerIn(v.items[0], "cursor x", int32Low, int32High)),
            static_cast<int32_t>(integerIn(v.items[1], "cursor y", int32Low, int32High))};
    }
    if (name == "lmb"sv)
        return SetLeftButton{booleanOf(v, name)};
    if (name == "menu"sv)
        return SetMenu{booleanOf(v, name)};
    if (name == "canDraw"sv)
        return SetCanDraw{booleanOf(v, name)};
    if (name == "beginRender"sv)
        return SetBeginRender{static_cast<int32_t>(integerIn(v, name, int32Low, int32High))};
    if (name == "fontHeight"sv)
        return SetFontHeight{singleOf(v, name)};
    if (name == "fontFails"sv)
        return SetFontFails{booleanOf(v, name)};
    if (name == "frame"sv)
        return Frames{static_cast<uint32_t>(integerIn(v, name, 1, int32High))};
    if (name == "packet"sv) {
        Packet p{hexOf(v, name), 0, 0};
        if (p.bytes.empty())
            fail("\"packet\" must hold at least one byte");
        auto allBits = static_cast<int64_t>(p.bytes.size() * 8);
        p.bitCount = static_cast<uint32_t>(allBits);
        if (const Value *bits = f.find("bits"))
            p.bitCount = static_cast<uint32_t>(integerIn(*bits, "bits", 0, allBits));
        p.id = p.bytes[0];
        if (const Value *id = f.find("id"))
            p.id = static_cast<uint32_t>(integerIn(*id, "id", 0, uint32High));
        return p;
    }
    if (name == "sync"sv)
        return readSync(v);
    if (name == "rpc"sv) {
        auto id = static_cast<uint32_t>(integerIn(v, name, 0, uint32High));
        std::vector<unsigned char> data = hexOf(f.need("data"), "data");
        auto allBits = static_cast<int64_t>(data.size() * 8);
        auto bits = static_cast<uint32_t>(allBits);
        if (const Value *given = f.find("bits"))
            bits = static_cast<uint32_t>(integerIn(*given, "bits", 0, allBits));
        return Rpc{id, std::move(data), bits};
    }
    if (name == "spectate"sv) {
        if (v.type == T::null)
            return Spectate{std::nullopt};
        return Spectate{static_cast<uint16_t>(integerIn(v, name, 0, 65535))};
    }
    // "command"
    Command c{cp1251Of(v, name), ""};
    if (const Value *args = f.find("args"))
        c.args = cp1251Of(*args, "args");
    return c;
}

Event eventOf(const Value &object);

// The event a line's JSON holds, checked.
Event eventOf(const Value &object) {
    if (object.type != Value::Type::object)
        fail("an event must be a JSON object");

    std::optional<size_t> event;
    for (size_t i = 0; i < object.keys.size(); i++) {
        if (!isEventName(object.keys[i]))
            continue;
        if (event)
            fail("two events on one line: " + named(object.keys[*event]) + " and " +
                 named(object.keys[i]));
        event = i;
    }
    if (!event) {
        if (object.keys.empty())
            fail("no event; expected one of " + eventList());
        fail("unknown key " + named(object.keys[0]) + "; an event is one of " + eventList());
    }
    std::string_view name = object.keys[*event];
    Fields fields(object, name);
    fields.find(name);
    Event e = readEvent(name, object.items[*event], fields);
    fields.finish();
    return e;
}

// ---- The usual line, quickly ----
//
// Most lines of a long trace are player-sync events. They are read straight
// from the parsed JSON, without the tree above; anything out of the
// ordinary (a key given twice, a value out of range, a number that needs
// its digits) is left to the general reader, which also words the message.

// An integer element within [low, high].
bool quickInteger(simdjson::dom::element e, int64_t low, int64_t high, int64_t &out) {
    using simdjson::dom::element_type;
    element_type type = e.type();
    if (type == element_type::INT64)
        out = e.get_int64().value_unsafe();
    else if (type == element_type::UINT64 && e.get_uint64().value_unsafe() <= uint64_t(INT64_MAX))
        out = static_cast<int64_t>(e.get_uint64().value_unsafe());
    else
        return false;
    return out >= low && out <= high;
}

bool quickWord(simdjson::dom::element e, uint16_t &out) {
    int64_t n = 0;
    if (!quickInteger(e, 0, 65535, n))
        return false;
    out = static_cast<uint16_t>(n);
    return true;
}

// A number as singleOf reads it.
bool quickSingle(simdjson::dom::element e, float &out) {
    using simdjson::dom::element_type;
    switch (e.type()) {
    case element_type::INT64:
        out = static_cast<float>(e.get_int64().value_unsafe());
        return true;
    case element_type::UINT64:
        out = static_cast<float>(e.get_uint64().value_unsafe());
        return true;
    case element_type::DOUBLE: {
        double d = e.get_double().value_unsafe();
        if (needsDigits(d))
            return false;
        out = static_cast<float>(d);
        return std::isfinite(out);
    }
    default:
        return false;
    }
}

// A number as doubleOf reads it.
bool quickDouble(simdjson::dom::element e, double &out) {
    using simdjson::dom::element_type;
    switch (e.type()) {
    case element_type::INT64:
        out = static_cast<double>(e.get_int64().value_unsafe());
        return true;
    case element_type::UINT64:
        out = static_cast<double>(e.get_uint64().value_unsafe());
        return true;
    case element_type::DOUBLE:
        out = e.get_double().value_unsafe();
        return std::isfinite(out) && std::fabs(out) <= FLT_MAX;
    default:
        return false;
    }
}

// An array of exactly `size` numbers, each read by `read`.
template <auto read, typename T> bool quickNumbers(simdjson::dom::element e, size_t size, T *out) {
    simdjson::dom::array array;
    if (e.get_array().get(array) != simdjson::SUCCESS)
        return false;
    size_t i = 0;
    for (simdjson::dom::element item : array) {
        if (i == size || !read(item, out[i]))
            return false;
        i++;
    }
    return i == size;
}

bool quickSurf(simdjson::dom::element e, Sync::Surf &out) {
    simdjson::dom::object object;
    if (e.get_object().get(object) != simdjson::SUCCESS || object.size() != 2)
        return false;
    bool vehicle = false, offset = false;
    for (simdjson::dom::key_value_pair field : object) {
        if (field.key == "vehicle"sv && !vehicle)
            vehicle = quickWord(field.value, out.vehicle);
        else if (field.key == "offset"sv && !offset)
            offset = quickNumbers<quickSingle>(field.value, 3, out.offset);
        else
            return false;
    }
    return vehicle && offset;
}

bool quickAnimation(simdjson::dom::element e, Sync::Animation &out) {
    simdjson::dom::array array;
    if (e.get_array().get(array) != simdjson::SUCCESS || array.size() != 2)
        return false;
    int64_t id = 0, flags = 0;
    if (!quickInteger(array.at(0).value_unsafe(), 0, 65535, id) ||
        !quickInteger(array.at(1).value_unsafe(), -32768, 65535, flags))
        return false;
    out = {static_cast<uint16_t>(id), static_cast<uint16_t>(flags)};
    return true;
}

// The sync packet's fields, or false to leave the line to the general reader.
bool quickSync(simdjson::dom::object fields, Sync &s) {
    enum Key : unsigned {
        player = 1u << 0,
        keys = 1u << 1,
        leftRight = 1u << 2,
        upDown = 1u << 3,
        position = 1u << 4,
        quaternion = 1u << 5,
        health = 1u << 6,
        armour = 1u << 7,
        weapon = 1u << 8,
        specialAction = 1u << 9,
        velocity = 1u << 10,
        surf = 1u << 11,
        animation = 1u << 12,
    };
    unsigned seen = 0;
    int64_t n = 0;
    for (simdjson::dom::key_value_pair field : fields) {
        std::string_view key = field.key;
        simdjson::dom::element v = field.value;
        unsigned which = 0;
        bool good = false;
        if (key == "player"sv) {
            which = player;
            good = quickWord(v, s.player);
        } else if (key == "keys"sv) {
            which = keys;
            good = quickWord(v, s.keys);
        } else if (key == "position"sv) {
            which = position;
            good = quickNumbers<quickSingle>(v, 3, s.position);
        } else if (key == "quaternion"sv) {
            which = quaternion;
            good = quickNumbers<quickDouble>(v, 4, s.quaternion);
        } else if (key == "velocity"sv) {
            which = velocity;
            good = quickNumbers<quickDouble>(v, 3, s.velocity);
        } else if (key == "health"sv) {
            which = health;
            good = quickInteger(v, 0, 100, n);
            s.health = static_cast<int>(n);
        } else if (key == "armour"sv) {
            which = armour;
            good = quickInteger(v, 0, 100, n);
            s.armour = static_cast<int>(n);
        } else if (key == "animation"sv) {
            which = animation;
            Sync::Animation a{};
            good = quickAnimation(v, a);
            s.animation = a;
        } else if (key == "leftRight"sv) {
            which = leftRight;
            uint16_t w = 0;
            good = quickWord(v, w);
            s.leftRight = w;
        } else if (key == "upDown"sv) {
            which = upDown;
            uint16_t w = 0;
            good = quickWord(v, w);
            s.upDown = w;
        } else if (key == "weapon"sv) {
            which = weapon;
            good = quickInteger(v, 0, 255, n);
            s.weapon = static_cast<uint8_t>(n);
        } else if (key == "specialAction"sv) {
            which = specialAction;
            good = quickInteger(v, 0, 255, n);
            s.specialAction = static_cast<uint8_t>(n);
        } else if (key == "surf"sv) {
            which = surf;
            Sync::Surf out{};
            good = quickSurf(v, out);
            s.surf = out;
        }
        if (!good || (seen & which) != 0)
            return false;
        seen |= which;
    }
    return (seen & player) != 0;
}

// A line that is one "sync" event and nothing else, read quickly into `s`,
// a Sync as it is made (its fields at their defaults).
bool quickSyncLine(simdjson::dom::element document, Sync &s) {
    simdjson::dom::object line;
    if (document.get_object().get(line) != simdjson::SUCCESS || line.size() != 1)
        return false;
    simdjson::dom::key_value_pair event = *line.begin();
    simdjson::dom::object fields;
    if (event.key != "sync"sv || event.value.get_object().get(fields) != simdjson::SUCCESS)
        return false;
    return quickSync(fields, s);
}

} // namespace

std::string TraceError::describe() const { return std::to_string(line) + ": " + message; }

uint64_t countLineEnds(std::string_view text) {
    uint64_t count = 0;
    const char *at = text.data(), *end = text.data() + text.size();
    while ((at = static_cast<const char *>(std::memchr(at, '\n', static_cast<size_t>(end - at))))) {
        count++;
        at++;
    }
    return count;
}

struct LineReader::Parser {
    simdjson::dom::parser dom;
    simdjson::dom::parser many; // a piece's lines at once
    simdjson::ondemand::parser slow;
};

// The most a piece read at once may hold in one batch of the parser, which
// keeps memory for about 13 bytes of work per byte: a longer line is read
// on its own.
const size_t batchSize = 128 << 10;

LineReader::LineReader() : parser_(std::make_unique<Parser>()) {
#ifdef SIMDJSON_THREADS_ENABLED
    // The tool reads pieces on every core already.
    parser_->many.threaded = false;
#endif
}

void LineReader::blankComments(char *lines, size_t size) {
    // Found by their '#', which is rare: a comment's, or one inside a line.
    size_t at = 0;
    while (at < size) {
        auto *hash = static_cast<char *>(std::memchr(lines + at, '#', size - at));
        if (!hash)
            return;
        size_t first = static_cast<size_t>(hash - lines);
        size_t start = first;
        while (start > 0 && (lines[start - 1] == ' ' || lines[start - 1] == '\t'))
            start--;
        auto *end = static_cast<char *>(std::memchr(hash, '\n', size - first));
        size_t stop = end ? static_cast<size_t>(end - lines) : size;
        // Only blanks before it on its line: a comment line.
        if (start == 0 || lines[start - 1] == '\n')
            std::memset(lines + first, ' ', stop - first);
        at = stop;
    }
}

bool LineReader::readLines(std::string_view piece, Take &take, uint64_t &lineEnds) {
    simdjson::dom::document_stream stream;
    // A short piece needs no more room than itself (the parser keeps what
    // it allocated for the next piece, and only grows it).
    size_t batch = std::min(batchSize, piece.size());
    if (parser_->many.parse_many(piece.data(), piece.size(), batch).get(stream))
        return false;
    uint64_t line = 1;
    size_t counted = 0; // line ends are counted up to here
    Event event;
    for (auto it = stream.begin(); it != stream.end(); ++it) {
        simdjson::dom::element document;
        if ((*it).get(document) != simdjson::SUCCESS)
            return false;
        // One event a line: a document alone on its line, never across two.
        size_t start = it.current_index();
        std::string_view text = it.source();
        if (text.empty() || (text[0] != '{' && text[0] != '[') ||
            text.find('\n') != std::string_view::npos)
            return false;
        uint64_t newlines = countLineEnds(piece.substr(counted, start - counted));
        if (newlines == 0 && counted != 0)
            return false;
        line += newlines;
        counted = start + text.size();
        // After a document, the rest of its line is blank.
        size_t lineEnd = piece.find('\n', counted);
        std::string_view rest =
            piece.substr(counted, lineEnd == std::string_view::npos ? lineEnd : lineEnd - counted);
        if (rest.find_first_not_of(" \t\r") != std::string_view::npos)
            return false;
        Sync sync;
        if (quickSyncLine(document, sync)) {
            take.sync(sync, line);
            continue;
        }
        std::byte space[4096];
        std::pmr::monotonic_buffer_resource arena(space, sizeof space);
        Value root(&arena);
        try {
            NumberTexts numbers(text);
            walk(document, root, 0, numbers);
            event = eventOf(root);
        } catch (const Bad &) {
            return false;
        } catch (const NotJson &) {
            return false;
        }
        if (const Sync *general = std::get_if<Sync>(&event))
            take.sync(*general, line);
        else
            take.event(event, line);
    }
    if (stream.truncated_bytes() != 0)
        return false;
    // The line ends before each document are counted; those after the last
    // one are added.
    lineEnds = line - 1 + countLineEnds(piece.substr(counted));
    return true;
}
LineReader::~LineReader() = default;

bool LineReader::skipped(std::string_view line) {
    size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

std::optional<std::string> LineReader::read(std::string_view line, Event &event) {
    // The line's tree lives in an arena on the stack: no allocation for a
    // usual line.
    std::byte space[4096];
    std::pmr::monotonic_buffer_resource arena(space, sizeof space);
    Value root(&arena);
    try {
        simdjson::dom::element document;
        simdjson::error_code error =
            parser_->dom.parse(line.data(), line.size(), false).get(document);
        try {
            if (error == simdjson::SUCCESS) {
                NumberTexts numbers(line);
                walk(document, root, 0, numbers);
            } else if (error == simdjson::NUMBER_ERROR && !syntaxErrorOf(line)) {
                simdjson::ondemand::document slow;
                check(parser_->slow
                          .iterate(simdjson::padded_string_view(line.data(), line.size(),
                                                                line.size() + padding))
                          .get(slow));
                walkDocumentSlowly(slow, root);
            } else {
                throw NotJson{};
            }
        } catch (const NotJson &) {
            return syntaxErrorOf(line).value_or("not JSON");
        }
        event = eventOf(root);
        return std::nullopt;
    } catch (const Bad &bad) {
        return bad.message;
    }
}

ParsedTrace parseTrace(std::string_view text) {
    // A copy with room after its end, which the reader needs.
    std::string padded(text);
    padded.append(LineReader::padding, ' ');
    text = std::string_view(padded.data(), text.size());

    LineReader reader;
    ParsedTrace trace;
    size_t lineNumber = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        lineNumber++;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (LineReader::skipped(line))
            continue;
        Event event;
        if (std::optional<std::string> error = reader.read(line, event)) {
            trace.events.clear();
            trace.error = TraceError{lineNumber, std::move(*error)};
            return trace;
        }
        trace.events.push_back(std::move(event));
    }
    return trace;
}

} // namespace replay
