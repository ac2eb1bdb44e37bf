// The usual line of a long trace, read quickly.
//
// Most lines of a long trace are player-sync events. They are read straight
// from the parsed JSON, without the tree of json_tree.h; anything out of the
// ordinary (a key given twice, a value out of range, a number that needs
// its digits) is left to the general reader, which also words the message.
#include "reading.h"
#include "sync_schema.h"

namespace replay::reading {

using namespace std::string_view_literals;

namespace {

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

// The integer `field` of the schema holds, as a T.
template <typename T>
bool quickField(simdjson::dom::element e, const sync_schema::Integer &field, T &out) {
    int64_t n = 0;
    if (!quickInteger(e, field.low, field.high, n))
        return false;
    out = static_cast<T>(n);
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
template <auto read, typename T>
bool quickNumbers(simdjson::dom::element e, const sync_schema::Numbers &field, T *out) {
    size_t size = field.size;
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
        if (field.key == sync_schema::surfVehicle.key && !vehicle)
            vehicle = quickField(field.value, sync_schema::surfVehicle, out.vehicle);
        else if (field.key == sync_schema::surfOffset.key && !offset)
            offset = quickNumbers<quickSingle>(field.value, sync_schema::surfOffset, out.offset);
        else
            return false;
    }
    return vehicle && offset;
}

bool quickAnimation(simdjson::dom::element e, Sync::Animation &out) {
    simdjson::dom::array array;
    static_assert(sync_schema::animation.size == 2, "[id, flags]");
    if (e.get_array().get(array) != simdjson::SUCCESS || array.size() != 2)
        return false;
    return quickField(array.at(0).value_unsafe(), sync_schema::animationId, out.id) &&
           quickField(array.at(1).value_unsafe(), sync_schema::animationFlags, out.flags);
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
    namespace schema = sync_schema;
    unsigned seen = 0;
    for (simdjson::dom::key_value_pair field : fields) {
        std::string_view key = field.key;
        simdjson::dom::element v = field.value;
        unsigned which = 0;
        bool good = false;
        // The usual keys first.
        if (key == schema::player.key) {
            which = player;
            good = quickField(v, schema::player, s.player);
        } else if (key == schema::keys.key) {
            which = keys;
            good = quickField(v, schema::keys, s.keys);
        } else if (key == schema::position.key) {
            which = position;
            good = quickNumbers<quickSingle>(v, schema::position, s.position);
        } else if (key == schema::quaternion.key) {
            which = quaternion;
            good = quickNumbers<quickDouble>(v, schema::quaternion, s.quaternion);
        } else if (key == schema::velocity.key) {
            which = velocity;
            good = quickNumbers<quickDouble>(v, schema::velocity, s.velocity);
        } else if (key == schema::health.key) {
            which = health;
            good = quickField(v, schema::health, s.health);
        } else if (key == schema::armour.key) {
            which = armour;
            good = quickField(v, schema::armour, s.armour);
        } else if (key == schema::animation.key) {
            which = animation;
            Sync::Animation a{};
            good = quickAnimation(v, a);
            s.animation = a;
        } else if (key == schema::leftRight.key) {
            which = leftRight;
            uint16_t w = 0;
            good = quickField(v, schema::leftRight, w);
            s.leftRight = w;
        } else if (key == schema::upDown.key) {
            which = upDown;
            uint16_t w = 0;
            good = quickField(v, schema::upDown, w);
            s.upDown = w;
        } else if (key == schema::weapon.key) {
            which = weapon;
            good = quickField(v, schema::weapon, s.weapon);
        } else if (key == schema::specialAction.key) {
            which = specialAction;
            good = quickField(v, schema::specialAction, s.specialAction);
        } else if (key == schema::surf) {
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

} // namespace

bool quickSyncLine(simdjson::dom::element document, Sync &s) {
    simdjson::dom::object line;
    if (document.get_object().get(line) != simdjson::SUCCESS || line.size() != 1)
        return false;
    simdjson::dom::key_value_pair event = *line.begin();
    simdjson::dom::object fields;
    if (event.key != sync_schema::event ||
        event.value.get_object().get(fields) != simdjson::SUCCESS)
        return false;
    return quickSync(fields, s);
}

} // namespace replay::reading
