// Reading a trace: each line is read into a small JSON tree through
// nlohmann's SAX interface (which keeps the text of every number, so that
// floats are rounded once from what the trace says), then checked against
// the event it names and turned into an Event.
#include "trace.h"

#include "cp1251.h"
#include "parallel.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bitset>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <limits>
#include <memory_resource>
#include <type_traits>

namespace replay {

namespace {

using namespace std::string_view_literals;

// ---- A line's JSON ----

struct Value {
    enum class Type { null, boolean, integer, unsignedInteger, real, string, array, object };
    Type type = Type::null;
    bool boolean = false;
    int64_t integer = 0;
    uint64_t unsignedInteger = 0;
    // A string, or a real number as written: a view into the line or into
    // the reader's own store.
    std::string_view text;
    std::pmr::vector<Value> items;           // array items, or object values
    std::pmr::vector<std::string_view> keys; // object keys, beside their values

    Value() = default;
    // A value whose containers take their memory from `arena`.
    explicit Value(std::pmr::memory_resource *arena) : items(arena), keys(arena) {}
};

// Objects and arrays nest at most this deep: an event needs three levels.
const size_t maxDepth = 32;

class TreeBuilder : public nlohmann::json_sax<nlohmann::json> {
  public:
    Value root;
    std::string error;
    std::deque<std::string> store; // what the texts of the tree point into

    bool null() override { return add(Value{}); }
    bool boolean(bool v) override {
        Value value;
        value.type = Value::Type::boolean;
        value.boolean = v;
        return add(std::move(value));
    }
    bool number_integer(number_integer_t v) override {
        Value value;
        value.type = Value::Type::integer;
        value.integer = v;
        return add(std::move(value));
    }
    bool number_unsigned(number_unsigned_t v) override {
        Value value;
        value.type = Value::Type::unsignedInteger;
        value.unsignedInteger = v;
        return add(std::move(value));
    }
    bool number_float(number_float_t, const string_t &raw) override {
        Value value;
        value.type = Value::Type::real;
        value.text = store.emplace_back(raw);
        return add(std::move(value));
    }
    bool string(string_t &v) override {
        Value value;
        value.type = Value::Type::string;
        value.text = store.emplace_back(std::move(v));
        return add(std::move(value));
    }
    bool binary(binary_t &) override {
        error = "binary data";
        return false;
    }
    bool start_object(std::size_t) override { return open(Value::Type::object); }
    bool key(string_t &k) override {
        for (std::string_view seen : stack_.back().keys)
            if (seen == k) {
                error = "the key \"" + k + "\" appears twice";
                return false;
            }
        stack_.back().keys.push_back(store.emplace_back(std::move(k)));
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Value::Type::array); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string &,
                     const nlohmann::detail::exception &ex) override {
        // "[json.exception.parse_error.101] parse error at line 1, column 4:
        // syntax error ..." without the parts a trace line does not need.
        std::string what = ex.what();
        size_t colon = what.find(": ");
        error = "not JSON at column " + std::to_string(position) + ": " +
                (colon == std::string::npos ? what : what.substr(colon + 2));
        return false;
    }

  private:
    std::vector<Value> stack_;

    bool add(Value &&value) {
        if (stack_.empty())
            root = std::move(value);
        else
            stack_.back().items.push_back(std::move(value));
        return true;
    }
    bool open(Value::Type type) {
        if (stack_.size() >= maxDepth) {
            error = "nested too deep";
            return false;
        }
        stack_.emplace_back().type = type;
        return true;
    }
    bool close() {
        Value done = std::move(stack_.back());
        stack_.pop_back();
        return add(std::move(done));
    }
};

// The common case read quickly: plain ASCII lines without escapes, every
// number short. A line outside that, or wrong in any way, gives false and
// goes to nlohmann's reader, which builds the same tree or tells what is
// wrong, so messages never depend on which reader ran.
class FastReader {
  public:
    explicit FastReader(std::string_view text) : s_(text) {}

    bool read(Value &root) {
        skipSpace();
        if (!value(root, 0))
            return false;
        skipSpace();
        return i_ == s_.size();
    }

  private:
    std::string_view s_;
    size_t i_ = 0;

    void skipSpace() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            i_++;
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }
    bool string(std::string_view &out) {
        size_t start = ++i_; // past the opening quote
        while (i_ < s_.size()) {
            auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                out = s_.substr(start, i_ - start);
                i_++;
                return true;
            }
            if (c == '\\' || c < 0x20 || c >= 0x80)
                return false;
            i_++;
        }
        return false;
    }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    bool number(Value &v) {
        size_t start = i_;
        bool negative = s_[i_] == '-';
        if (negative)
            i_++;
        size_t digitsStart = i_;
        while (i_ < s_.size() && isDigit(s_[i_]))
            i_++;
        size_t digits = i_ - digitsStart;
        if (digits == 0 || (digits > 1 && s_[digitsStart] == '0'))
            return false;
        bool real = false;
        if (i_ < s_.size() && s_[i_] == '.') {
            real = true;
            size_t fraction = ++i_;
            while (i_ < s_.size() && isDigit(s_[i_]))
                i_++;
            if (i_ == fraction)
                return false;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            real = true;
            i_++;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-'))
                i_++;
            size_t exponent = i_;
            while (i_ < s_.size() && isDigit(s_[i_]))
                i_++;
            if (i_ == exponent)
                return false;
        }
        if (real) {
            v.type = Value::Type::real;
            v.text = s_.substr(start, i_ - start);
            return true;
        }
        if (digits > 18) // might not fit 64 bits: the full reader decides
            return false;
        int64_t n = 0;
        for (size_t k = digitsStart; k < i_; k++)
            n = n * 10 + (s_[k] - '0');
        if (negative) {
            v.type = Value::Type::integer;
            v.integer = -n;
        } else {
            v.type = Value::Type::unsignedInteger;
            v.unsignedInteger = static_cast<uint64_t>(n);
        }
        return true;
    }
    bool value(Value &v, size_t depth) {
        if (i_ >= s_.size())
            return false;
        char c = s_[i_];
        if (c == '{' || c == '[') {
            if (depth >= maxDepth)
                return false;
            bool object = c == '{';
            v.type = object ? Value::Type::object : Value::Type::array;
            // Events have a handful of keys and short arrays.
            v.items.reserve(object ? 8 : 4);
            if (object)
                v.keys.reserve(8);
            i_++;
            skipSpace();
            if (i_ < s_.size() && s_[i_] == (object ? '}' : ']')) {
                i_++;
                return true;
            }
            while (true) {
                if (object) {
                    if (i_ >= s_.size() || s_[i_] != '"')
                        return false;
                    std::string_view key;
                    if (!string(key))
                        return false;
                    for (std::string_view seen : v.keys)
                        if (seen == key)
                            return false;
                    v.keys.push_back(key);
                    skipSpace();
                    if (i_ >= s_.size() || s_[i_] != ':')
                        return false;
                    i_++;
                    skipSpace();
                }
                if (!value(v.items.emplace_back(v.items.get_allocator().resource()), depth + 1))
                    return false;
                skipSpace();
                if (i_ >= s_.size())
                    return false;
                if (s_[i_] == ',') {
                    i_++;
                    skipSpace();
                    continue;
                }
                if (s_[i_] != (object ? '}' : ']'))
                    return false;
                i_++;
                return true;
            }
        }
        if (c == '"') {
            v.type = Value::Type::string;
            return string(v.text);
        }
        if (c == '-' || isDigit(c))
            return number(v);
        if (literal("true")) {
            v.type = Value::Type::boolean;
            v.boolean = true;
            return true;
        }
        if (literal("false")) {
            v.type = Value::Type::boolean;
            return true;
        }
        if (literal("null"))
            return true;
        return false;
    }
};

// ---- Checking values ----

struct Bad {
    std::string message;
};

[[noreturn]] void fail(std::string message) { throw Bad{std::move(message)}; }

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

const char finiteMessage[] = " must be a finite number within single precision";

// A number rounded once to single precision.
float singleOf(const Value &v, std::string_view name) {
    float f = 0.0f;
    if (v.type == Value::Type::integer)
        f = static_cast<float>(v.integer);
    else if (v.type == Value::Type::unsignedInteger)
        f = static_cast<float>(v.unsignedInteger);
    else if (v.type == Value::Type::real)
        f = readFloat<float>(v.text);
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
    double d = readFloat<double>(v.text);
    // Up to the largest float, the number is within single precision; just
    // above it, only the float rounding can tell.
    if (!std::isfinite(d) || (std::fabs(d) > FLT_MAX && !std::isfinite(readFloat<float>(v.text))))
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
        auto bits = static_cast<uint32_t>(data.size() * 8);
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

Event parseLine(std::string_view line) {
    // The quick reader's tree lives in an arena on the stack: no allocation
    // for a usual line.
    std::byte space[4096];
    std::pmr::monotonic_buffer_resource arena(space, sizeof space);
    Value fast(&arena);
    if (FastReader(line).read(fast))
        return eventOf(fast);
    TreeBuilder tree;
    if (!nlohmann::json::sax_parse(line, &tree))
        fail(tree.error.empty() ? "not JSON" : tree.error);
    return eventOf(tree.root);
}

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

bool isSkipped(std::string_view line) {
    size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

} // namespace

std::string TraceError::describe() const { return std::to_string(line) + ": " + message; }

// Reads the lines of `text`, the first of which is line `firstLine`.
static ParsedTrace parseLines(std::string_view text, size_t firstLine) {
    ParsedTrace trace;
    // At most an event a line: one allocation instead of a growing copy.
    trace.events.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    size_t lineNumber = firstLine - 1;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        lineNumber++;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (isSkipped(line))
            continue;
        try {
            trace.events.push_back(parseLine(line));
        } catch (const Bad &bad) {
            trace.events.clear();
            trace.error = TraceError{lineNumber, bad.message};
            return trace;
        }
    }
    return trace;
}

ParsedTrace parseTrace(std::string_view text) {
    // A long trace is read in pieces on all cores: lines stand alone, so
    // each piece is read on its own and the pieces are joined in order,
    // the earliest bad line winning.
    const size_t pieceMin = 4 << 20;
    size_t pieces = std::min<size_t>(workerCount(), text.size() / pieceMin);
    if (pieces < 2)
        return parseLines(text, 1);

    std::vector<std::string_view> parts;
    std::vector<size_t> firstLines;
    size_t line = 1;
    while (!text.empty()) {
        size_t cut =
            parts.size() + 1 == pieces ? text.size() : text.size() / (pieces - parts.size());
        cut = text.find('\n', cut);
        cut = cut == std::string_view::npos ? text.size() : cut + 1;
        parts.push_back(text.substr(0, cut));
        firstLines.push_back(line);
        line += static_cast<size_t>(std::count(parts.back().begin(), parts.back().end(), '\n'));
        text.remove_prefix(cut);
    }
    std::vector<ParsedTrace> results(parts.size());
    parallelFor(parts.size(), [&](size_t i) { results[i] = parseLines(parts[i], firstLines[i]); });

    ParsedTrace trace;
    for (ParsedTrace &piece : results)
        if (piece.error) {
            trace.error = piece.error;
            return trace;
        }
    size_t total = 0;
    for (const ParsedTrace &piece : results)
        total += piece.events.size();
    trace.events.reserve(total);
    for (ParsedTrace &piece : results)
        std::move(piece.events.begin(), piece.events.end(), std::back_inserter(trace.events));
    return trace;
}

} // namespace replay
