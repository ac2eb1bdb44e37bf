// The "sync" event's fields as a trace writes them, described once: the
// general reader (event_reader.cpp) checks a line against this and words
// its messages from it, and the quick reader of the usual line
// (quick_sync.cpp) goes by the same keys and ranges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace replay::reading::sync_schema {

// An integer field: its key, its name in messages, its range.
struct Integer {
    std::string_view key, name;
    int64_t low, high;
};
// An array of numbers: its key, its name in messages, how many, and how a
// message says what they are.
struct Numbers {
    std::string_view key, name;
    size_t size;
    std::string_view what;
};

inline constexpr std::string_view event = "sync";
inline constexpr Integer player{"player", "sync.player", 0, 65535};
inline constexpr Integer keys{"keys", "sync.keys", 0, 65535};
inline constexpr Integer leftRight{"leftRight", "sync.leftRight", 0, 65535};
inline constexpr Integer upDown{"upDown", "sync.upDown", 0, 65535};
inline constexpr Numbers position{"position", "sync.position", 3, "3 numbers"};
inline constexpr Numbers quaternion{"quaternion", "sync.quaternion", 4, "4 numbers, w, x, y, z"};
inline constexpr Integer health{"health", "sync.health", 0, 100};
inline constexpr Integer armour{"armour", "sync.armour", 0, 100};
inline constexpr Integer weapon{"weapon", "sync.weapon", 0, 255};
inline constexpr Integer specialAction{"specialAction", "sync.specialAction", 0, 255};
inline constexpr Numbers velocity{"velocity", "sync.velocity", 3, "3 numbers"};

// "surf": an object of exactly these two.
inline constexpr std::string_view surf = "surf", surfName = "sync.surf";
inline constexpr Integer surfVehicle{"vehicle", "sync.surf.vehicle", 0, 65535};
inline constexpr Numbers surfOffset{"offset", "sync.surf.offset", 3, "3 numbers"};

// "animation": [id, flags]. The flags are a signed word in the game's eyes:
// either reading of the 16 bits is taken.
inline constexpr Numbers animation{"animation", "sync.animation", 2, "2 integers, id and flags"};
inline constexpr Integer animationId{"", "sync.animation id", 0, 65535};
inline constexpr Integer animationFlags{"", "sync.animation flags", -32768, 65535};

} // namespace replay::reading::sync_schema
