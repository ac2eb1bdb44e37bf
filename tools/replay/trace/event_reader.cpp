// The events of a trace line, read from the line's tree and checked, with
// a message for whatever is wrong: the general reader, for every line the
// quick one (quick_sync.cpp) leaves to it.
#include "reading.h"

#include "sync_schema.h"
#include "values.h"

#include <limits>

namespace replay::reading {

using namespace std::string_view_literals;

namespace {

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

// The integer `field` of the schema holds.
int64_t integerOf(const Value &v, const sync_schema::Integer &field) {
    return integerIn(v, field.name, field.low, field.high);
}

// The array `field` of the schema holds, its size checked.
const Value &numbersOf(const Value &v, const sync_schema::Numbers &field) {
    return arrayOf(v, field.name, field.size, field.what);
}

// The numbers of the array `field`, each read by `read`.
template <typename T, T (*read)(const Value &, std::string_view)>
void readNumbers(const Value &v, const sync_schema::Numbers &field, T *out) {
    numbersOf(v, field);
    for (size_t i = 0; i < field.size; i++)
        out[i] = read(v.items[i], field.name);
}
void readSingles(const Value &v, const sync_schema::Numbers &field, float *out) {
    readNumbers<float, singleOf>(v, field, out);
}
void readDoubles(const Value &v, const sync_schema::Numbers &field, double *out) {
    readNumbers<double, doubleOf>(v, field, out);
}

// The integer `field` into `out` when the object has it.
template <typename T> void readInteger(Fields &f, const sync_schema::Integer &field, T &out) {
    if (const Value *v = f.find(field.key))
        out = static_cast<T>(integerOf(*v, field));
}
template <typename T>
void readInteger(Fields &f, const sync_schema::Integer &field, std::optional<T> &out) {
    if (const Value *v = f.find(field.key))
        out = static_cast<T>(integerOf(*v, field));
}

Sync readSync(const Value &v) {
    namespace schema = sync_schema;
    if (v.type != Value::Type::object)
        fail("\"sync\" must be an object of the packet's fields");
    Fields f(v, schema::event);
    Sync s;
    s.player = static_cast<uint16_t>(integerOf(f.need(schema::player.key), schema::player));
    readInteger(f, schema::keys, s.keys);
    readInteger(f, schema::leftRight, s.leftRight);
    readInteger(f, schema::upDown, s.upDown);
    if (const Value *p = f.find(schema::position.key))
        readSingles(*p, schema::position, s.position);
    if (const Value *q = f.find(schema::quaternion.key))
        readDoubles(*q, schema::quaternion, s.quaternion);
    readInteger(f, schema::health, s.health);
    readInteger(f, schema::armour, s.armour);
    readInteger(f, schema::weapon, s.weapon);
    readInteger(f, schema::specialAction, s.specialAction);
    if (const Value *vel = f.find(schema::velocity.key))
        readDoubles(*vel, schema::velocity, s.velocity);
    if (const Value *surf = f.find(schema::surf)) {
        if (surf->type != Value::Type::object)
            fail("\"sync.surf\" must be an object with \"vehicle\" and \"offset\"");
        Fields sf(*surf, schema::surfName);
        Sync::Surf out{};
        out.vehicle =
            static_cast<uint16_t>(integerOf(sf.need(schema::surfVehicle.key), schema::surfVehicle));
        readSingles(sf.need(schema::surfOffset.key), schema::surfOffset, out.offset);
        sf.finish();
        s.surf = out;
    }
    if (const Value *anim = f.find(schema::animation.key)) {
        numbersOf(*anim, schema::animation);
        Sync::Animation out{};
        out.id = static_cast<uint16_t>(integerOf(anim->items[0], schema::animationId));
        out.flags = static_cast<uint16_t>(integerOf(anim->items[1], schema::animationFlags));
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
    if (name == "command"sv) {
        Command c{cp1251Of(v, name), ""};
        if (const Value *args = f.find("args"))
            c.args = cp1251Of(*args, "args");
        return c;
    }
    // eventOf hands over only the names above: a name that reaches here is
    // one this function has not learnt.
    fail("unknown event " + named(name) + "; an event is one of " + eventList());
}

} // namespace

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

} // namespace replay::reading
