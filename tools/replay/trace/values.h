// Checking a trace line's values against what an event wants of them:
// each check either gives the value or fails with the words the user sees.
#pragma once

#include "json_tree.h"

#include <bitset>

namespace replay::reading {

// The name in quotes, as messages show it.
std::string named(std::string_view name);
bool isNumber(const Value &v);
// Each of these gives the value `v` holds, or fails naming `name`.
int64_t integerIn(const Value &v, std::string_view name, int64_t low, int64_t high);
bool booleanOf(const Value &v, std::string_view name);
// A number rounded once to single precision.
float singleOf(const Value &v, std::string_view name);
// A number in double precision that is also within single precision.
double doubleOf(const Value &v, std::string_view name);
// An array of exactly `size` items; `what` says what they are.
const Value &arrayOf(const Value &v, std::string_view name, size_t size, std::string_view what);
std::vector<unsigned char> hexOf(const Value &v, std::string_view name);
std::string cp1251Of(const Value &v, std::string_view name);
uint32_t colourOf(const Value &v, std::string_view name);

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

} // namespace replay::reading
